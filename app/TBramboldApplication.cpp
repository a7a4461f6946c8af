#include "app/TBramboldApplication.h"

#include "platform/error_box.h"

#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <exception>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write; the event loop reads the other end.
int SignalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(SignalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

TBramboldApplication::TBramboldApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Ties the windows to the installed desktop entry: Wayland finds the
    // entry by this name, and X11 taskbars show the window icon, which comes
    // from the installed icon theme (none when run from the build folder).
    setDesktopFileName(QStringLiteral("brambold"));
    // Looked up once the event loop runs, after the first window's timer has
    // started: the theme's folders cost some milliseconds, which the
    // extraction's second of waiting then covers.
    QTimer::singleShot(0, this, [] { setWindowIcon(QIcon::fromTheme(QStringLiteral("brambold"))); });
    CatchTerminationSignals();
}

TBramboldApplication::~TBramboldApplication()
{
    for (const int s : {SIGTERM, SIGINT, SIGHUP})
        std::signal(s, SIG_DFL);
}

void TBramboldApplication::CatchTerminationSignals()
{
    if (SignalPipe[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, SignalPipe) != 0)
        return;
    FSignalNotifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
    connect(FSignalNotifier, &QSocketNotifier::activated, this, [] {
        char bytes[16];
        while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
        }
        // Each window decides, as for its close button: the extraction
        // window stops its run first. Modal questions go first, unanswered.
        while (QWidget* modal = QApplication::activeModalWidget())
            if (!modal->close())
                break;
        QApplication::closeAllWindows();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &action, nullptr);
}

bool TBramboldApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        platform::ShowErrorBox(QString::fromLocal8Bit(error.what()));
        return false;
    }
}
