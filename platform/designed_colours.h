#pragma once

class QWidget;

namespace platform {

// Black text on white, as the fixed white panels and pictures of a window
// were designed, whatever the desktop's palette. Set on the widget itself, so
// everything else keeps the desktop's colours.
void KeepDesignedColours(QWidget* widget);

}  // namespace platform
