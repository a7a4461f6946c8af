#include "app/TBramboldApplication.h"

#include "platform/error_box.h"

#include <QIcon>

#include <exception>

TBramboldApplication::TBramboldApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Ties the windows to the installed desktop entry: Wayland finds the
    // entry by this name, and X11 taskbars show the window icon, which comes
    // from the installed icon theme (none when run from the build folder).
    setDesktopFileName(QStringLiteral("brambold"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("brambold")));
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
