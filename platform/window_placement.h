#pragma once

#include <QPoint>
#include <QRect>
#include <string>
#include <vector>

class QWidget;

namespace platform {

// Centres a window's frame on the available area of its screen (the primary
// screen when it has none yet).
void CentreOnScreen(QWidget* window);

// Where a window of `size` goes when `taken` are the windows of the other
// running copies: centred on `available` when that spot is free, else beside,
// below, to the left of or above one of them, where it fits on the screen,
// else a step down and right from the centre.
QPoint FreePlace(QSize size, const QRect& available, const std::vector<QRect>& taken);

// The places of the copies' windows, one line per process in a small file
// that each copy reads and writes under a lock. A line whose process has
// ended counts no more, so a killed copy leaves no hole behind.
class TWindowPlaces {
public:
    explicit TWindowPlaces(std::string file) : FFile(std::move(file)) {}

    // Gives this process's window of `size` a free place and notes it.
    QPoint Take(QSize size, const QRect& available);
    // Forgets this process's window.
    void Leave();
    bool Shared() const { return !FFile.empty(); }

private:
    std::string FFile;
};

// Centres the window, or, when another copy's window stands there already,
// puts it beside that one (see FreePlace). Copies on the same display find
// each other through a file under $XDG_RUNTIME_DIR; without one, or on a
// display nobody sees, the window is only centred.
void PlaceBesideOtherCopies(QWidget* window);
// Gives the window's place up for the next copy.
void LeavePlace();

}  // namespace platform
