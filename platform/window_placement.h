#pragma once

class QWidget;

namespace platform {

// Centres a window's frame on the available area of its screen (the primary
// screen when it has none yet).
void CentreOnScreen(QWidget* window);

}  // namespace platform
