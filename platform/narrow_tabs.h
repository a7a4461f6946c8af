#pragma once

class QTabBar;

namespace platform {

// Gives the tab row narrower tab margins, in whatever style the application
// really uses (the desktop's own, a theme tool's, one given with -style).
void UseNarrowTabs(QTabBar* bar);

}  // namespace platform
