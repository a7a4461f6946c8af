#include "app/ProgramStart.h"

#include "app/EndProcessesByName.h"
#include "app/TBramboldApplication.h"
#include "platform/descriptor_table.h"
#include "platform/error_box.h"
#include "platform/locale.h"

#include <QMessageBox>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {

namespace {

const char* const ApplicationTitle = "Brambold Free Unrar";
const char* const FileNotFoundTitle = "Error: File not found!";
const char* const VersionLine = "Brambold Free Unrar 2.54\n";
const char* const UsageText = "Usage: brambold ARCHIVE.rar   unpack the archive into its own folder\n"
                              "       brambold               show the window that unpacks dropped archives\n"
                              "       brambold shutdown      end every running copy\n"
                              "       brambold --help | -h | --version | -v\n"
                              "\n"
                              "A path with blanks may come unquoted: the arguments are joined into one.\n"
                              "A relative name is taken from beside the program if it is there, else from\n"
                              "the current folder. A RAR file named otherwise is known by its content.\n"
                              "folder.txt, silent.txt and password.txt beside the program (installed:\n"
                              "links to /etc/brambold/) name the destination, a password to try, and the\n"
                              "password prompt's first text. See brambold(1).\n";

std::function<void(const QString&, const QString&)>& FileNotFoundHandler()
{
    static std::function<void(const QString&, const QString&)> handler;
    return handler;
}

// What Qt says while the application object opens the display: held back
// until it is known whether a display was found. Without one, Qt ends the
// process with a fatal message and a core dump; one line and status 1 say it
// better. With one, the held messages go on as Qt would have shown them.
struct HeldMessage {
    QtMsgType type;
    std::string file, function, category;
    int line;
    QString text;
};
QtMessageHandler PreviousHandler = nullptr;
std::vector<HeldMessage>* HeldMessages = nullptr;

std::string DisplayDescription()
{
    std::string described;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            described += std::string(described.empty() ? "" : ", ") + name + "=" + value;
    }
    return described.empty() ? "neither DISPLAY nor WAYLAND_DISPLAY is set" : described;
}

void HoldDisplayMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "brambold: cannot open a display (%s)\n", DisplayDescription().c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    HeldMessages->push_back({type, context.file ? context.file : "", context.function ? context.function : "",
                             context.category ? context.category : "", context.line, text});
}

// Builds the application object, which connects to the display.
std::unique_ptr<TBramboldApplication> OpenDisplay(int& argc, char** argv)
{
    std::vector<HeldMessage> held;
    HeldMessages = &held;
    PreviousHandler = qInstallMessageHandler(HoldDisplayMessages);
    auto application = std::make_unique<TBramboldApplication>(argc, argv);
    qInstallMessageHandler(PreviousHandler);
    HeldMessages = nullptr;
    for (const HeldMessage& m : held) {
        const auto text = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
        const QMessageLogContext context(text(m.file), m.line, text(m.function), text(m.category));
        qt_message_output(m.type, context, m.text);
    }
    return application;
}

}  // namespace

void SetUpApplication()
{
    // Only the name: an explicit display name would make the X11 platform
    // append it to every window title.
    QCoreApplication::setApplicationName(QString::fromUtf8(ApplicationTitle));
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
    const QString title = QString::fromUtf8(FileNotFoundTitle);
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
    if (choice.road == StartupRoad::Help || choice.road == StartupRoad::Version) {
        std::fputs(choice.road == StartupRoad::Help ? UsageText : VersionLine, stdout);
        std::fflush(stdout);
        return 0;
    }
    if (choice.road == StartupRoad::Shutdown) {
        EndProcessesByName(std::string(ProgramExecutableName));
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
            QWidget* extraction = windows.createExtractionWindow(choice.ArchivePath).release();
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
    if (choice.road == StartupRoad::Extract && windows.endAtOnceAfterExtraction) {
        // Everything the run made is whole and named by now; what is left
        // is freeing memory, which the kernel does at once.
        std::fflush(nullptr);
        std::_Exit(0);
    }
    destroyCreated();
    return 0;
}

int RunProgram(int argc, char** argv, const StartupWindows& windows)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const StartupChoice choice = ChooseStartupRoad(arguments);
    // These roads need no display.
    if (choice.road == StartupRoad::Shutdown || choice.road == StartupRoad::Help || choice.road == StartupRoad::Version)
        return RunStartupRoad(choice, windows);

    // Before the application object, which starts Qt's threads.
    platform::ReserveDescriptorTable(platform::ProgramDescriptors);
    SetTimeZoneIfUnset();
    platform::SetUpProcessLocale();
    const auto application = OpenDisplay(argc, argv);
    // The application object takes the user's locale once more on its own;
    // character handling has to stay UTF-8 for the library's file names.
    platform::SetUpProcessLocale();
    SetUpApplication();
    return RunStartupRoad(choice, windows);
}

}  // namespace app
