#include "app/ProgramStart.h"

#include "app/EndProcessesByName.h"
#include "app/TBramboldApplication.h"
#include "platform/error_box.h"
#include "platform/locale.h"

#include <QMessageBox>
#include <QPointer>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {

namespace {

const char* const kApplicationTitle = "Brambold Free Unrar";
const char* const kFileNotFoundTitle = "Error: File not found!";

std::function<void(const QString&, const QString&)>& FileNotFoundHandler()
{
    static std::function<void(const QString&, const QString&)> handler;
    return handler;
}

}  // namespace

void SetUpApplication()
{
    // Only the name: an explicit display name would make the X11 platform
    // append it to every window title.
    QCoreApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
}

void SetTimeZoneIfUnset()
{
    // Without TZ the C library looks at /etc/localtime again for every time
    // it converts, and the UnRAR library converts one per entry header. The
    // same zone, named once, is read once.
    if (std::getenv("TZ") == nullptr) {
        setenv("TZ", ":/etc/localtime", 0);
        tzset();
    }
}

void ShowFileNotFoundBox(const QString& text)
{
    const QString title = QString::fromUtf8(kFileNotFoundTitle);
    if (FileNotFoundHandler()) {
        FileNotFoundHandler()(title, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    // A path is shown as it is, even when it looks like markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void SetFileNotFoundBoxHandler(std::function<void(const QString& title, const QString& text)> handler)
{
    FileNotFoundHandler() = std::move(handler);
}

int RunStartupRoad(const StartupChoice& choice, const StartupWindows& windows)
{
    if (choice.road == StartupRoad::Shutdown) {
        EndProcessesByName(std::string(kProgramExecutableName));
        return 0;
    }
    if (choice.road == StartupRoad::FileNotFound) {
        ShowFileNotFoundBox(QString::fromLocal8Bit(choice.CmdLineArchive));
        return 0;
    }

    // The first window made is the main window: closing it ends the program.
    // The hidden launcher beside the extraction window must not keep it alive.
    std::vector<QPointer<QWidget>> created;
    const auto destroyCreated = [&created] {
        // Windows that deleted themselves on closing are gone already.
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            delete it->data();
    };
    try {
        if (choice.road == StartupRoad::Extract) {
            QWidget* extraction = windows.createExtractionWindow().release();
            created.emplace_back(extraction);
            QWidget* launcher = windows.createLauncherWindow().release();
            created.emplace_back(launcher);
            launcher->setAttribute(Qt::WA_QuitOnClose, false);
            launcher->hide();
            extraction->setAttribute(Qt::WA_QuitOnClose, true);
            extraction->show();
        } else {
            QWidget* launcher = windows.createLauncherWindow().release();
            created.emplace_back(launcher);
            launcher->setAttribute(Qt::WA_QuitOnClose, true);
            launcher->show();
        }
    } catch (const std::exception& e) {
        // A window that cannot be made (an unreadable "silent.txt", say)
        // ends the program with its message instead of a crash.
        destroyCreated();
        platform::ShowErrorBox(QString::fromUtf8(e.what()));
        return 0;
    }
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QApplication::exec();
    destroyCreated();
    return 0;
}

int RunProgram(int argc, char** argv, const StartupWindows& windows)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const StartupChoice choice = ChooseStartupRoad(arguments);
    if (choice.road == StartupRoad::Shutdown)
        return RunStartupRoad(choice, windows);

    SetTimeZoneIfUnset();
    platform::SetUpProcessLocale();
    TBramboldApplication application(argc, argv);
    // The application object takes the user's locale once more on its own;
    // character handling has to stay UTF-8 for the library's file names.
    platform::SetUpProcessLocale();
    SetUpApplication();
    return RunStartupRoad(choice, windows);
}

}  // namespace app
