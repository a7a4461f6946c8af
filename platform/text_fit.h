#pragma once

class QWidget;
class QFont;

namespace platform {

// The windows are laid out in fixed boxes for an 8-point face with Arial's
// widths. Dialogs built at run time take the same font as the window
// definitions; where the face is missing, the desktop's sans-serif stands in.
QFont WindowFont();

// Smallest point size a text is drawn in to fit its box, at 96 dpi; on a
// denser screen without scaling, the same pixel size.
constexpr double SmallestPointSize = 6.5;

// Every label, button, check box, tab row and line of a fixed, unwrapped text
// box under `root` (itself included) that is wider than its box is drawn in
// a smaller size of the same face, down to SmallestPointSize; one that fits
// goes back to its designed size. Call it again after a text changes.
void FitTexts(QWidget* root);

}  // namespace platform
