#include <QApplication>
#include <QLocale>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {
// The offscreen platform cannot pass size hints on; saying so for every fixed
// window only hides the test output.
QtMessageHandler StandardHandler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")))
        StandardHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv)
{
    StandardHandler = qInstallMessageHandler(QuietHandler);
    // Also when the test list is read at build time, outside CTest's environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    setenv("TZ", "UTC", 1);
    tzset();
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_CTYPE, "C.UTF-8");
    QLocale::setDefault(QLocale::c());
    // The application's argument list names an archive that no test hands a
    // window: a window that read the command line would unpack it.
    int applicationArgc = 2;
    char commandLineArchive[] = "command-line.rar";
    char* applicationArgv[] = {argv[0], commandLineArchive, nullptr};
    QApplication app(applicationArgc, applicationArgv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
