#include "platform/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

// Room for the window manager's frame: the client rectangles are noted, and
// a title bar above one must not cover the other's bottom edge.
constexpr QMargins FrameAllowance{8, 36, 8, 8};
// A step of the last resort: enough to show the title bar of the one beneath.
constexpr int CascadeStep = 32;

bool Alive(pid_t pid)
{
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

struct TPlaceLine {
    pid_t pid;
    QRect rect;
};

std::vector<TPlaceLine> ReadLines(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    std::vector<TPlaceLine> lines;
    std::istringstream in(text);
    long pid = 0;
    int x = 0, y = 0, w = 0, h = 0;
    while (in >> pid >> x >> y >> w >> h)
        lines.push_back({static_cast<pid_t>(pid), QRect(x, y, w, h)});
    return lines;
}

void WriteLines(int fd, const std::vector<TPlaceLine>& lines)
{
    std::string text;
    for (const TPlaceLine& line : lines)
        text += std::to_string(line.pid) + ' ' + std::to_string(line.rect.x()) + ' ' + std::to_string(line.rect.y()) +
                ' ' + std::to_string(line.rect.width()) + ' ' + std::to_string(line.rect.height()) + '\n';
    if (ftruncate(fd, 0) != 0)
        return;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Calls `change` with the lines of the other live processes and writes back
// what it leaves, all under the file's lock. Without the file nothing is
// known of the others.
template <typename Change>
void WithLines(const std::string& file, Change change)
{
    std::vector<TPlaceLine> lines;
    const int fd = file.empty() ? -1 : open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        change(lines);
        return;
    }
    if (flock(fd, LOCK_EX) == 0) {
        for (const TPlaceLine& line : ReadLines(fd))
            if (line.pid != getpid() && Alive(line.pid))
                lines.push_back(line);
        change(lines);
        WriteLines(fd, lines);
    } else {
        change(lines);
    }
    close(fd);  // lets the lock go
}

std::string PlacesFile()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QString platform = QGuiApplication::platformName();
    if (runtime.isEmpty() || platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return {};
    // Copies on another display never meet.
    QByteArray display = qgetenv(platform == QLatin1String("wayland") ? "WAYLAND_DISPLAY" : "DISPLAY");
    for (char& c : display)
        if (c == '/')
            c = '_';
    return runtime.toStdString() + "/brambold-windows-" + platform.toStdString() + '-' + display.toStdString();
}

TWindowPlaces& ThisCopysPlaces()
{
    static TWindowPlaces places(PlacesFile());
    return places;
}

}  // namespace

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QPoint FreePlace(QSize size, const QRect& available, const std::vector<QRect>& taken)
{
    const QRect room = available.marginsRemoved(FrameAllowance);
    // A place kept on the screen, frame and all, as far as the screen allows.
    const auto onScreen = [&](QPoint at) {
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
        return at;
    };
    // How much of the others a window there would cover, frames included.
    const auto covered = [&](QPoint at) {
        const QRect r = QRect(at, size).marginsAdded(FrameAllowance);
        qint64 area = 0;
        for (const QRect& t : taken) {
            const QRect both = r.intersected(t.marginsAdded(FrameAllowance));
            area += qint64(both.width()) * both.height();
        }
        return area;
    };
    QRect centred(QPoint(), size);
    centred.moveCenter(available.center());
    std::vector<QPoint> candidates{centred.topLeft()};
    const int dx = FrameAllowance.left() + FrameAllowance.right();
    const int dy = FrameAllowance.top() + FrameAllowance.bottom();
    for (const QRect& t : taken)
        for (const QPoint at :
             {QPoint(t.right() + 1 + dx, t.top()), QPoint(t.left(), t.bottom() + 1 + dy),
              QPoint(t.left() - dx - size.width(), t.top()), QPoint(t.left(), t.top() - dy - size.height())})
            candidates.push_back(onScreen(at));
    // A full screen: a step down and right for every window already there.
    for (size_t step = 1; step <= taken.size(); ++step)
        candidates.push_back(onScreen(centred.topLeft() + QPoint(1, 1) * (CascadeStep * static_cast<int>(step))));

    QPoint best = candidates.front();
    qint64 least = covered(best);
    for (const QPoint at : candidates) {
        if (least == 0)
            break;
        if (const qint64 area = covered(at); area < least) {
            least = area;
            best = at;
        }
    }
    return best;
}

QPoint TWindowPlaces::Take(QSize size, const QRect& available)
{
    QPoint at;
    WithLines(FFile, [&](std::vector<TPlaceLine>& lines) {
        std::vector<QRect> taken;
        for (const TPlaceLine& line : lines)
            taken.push_back(line.rect);
        at = FreePlace(size, available, taken);
        lines.push_back({getpid(), QRect(at, size)});
    });
    return at;
}

void TWindowPlaces::Leave()
{
    if (!FFile.empty())
        WithLines(FFile, [](std::vector<TPlaceLine>&) {});
}

void PlaceBesideOtherCopies(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (ThisCopysPlaces().Shared())
        window->move(ThisCopysPlaces().Take(window->size(), screen->availableGeometry()));
    else
        CentreOnScreen(window);
}

void LeavePlace()
{
    ThisCopysPlaces().Leave();
}

}  // namespace platform
