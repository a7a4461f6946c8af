#include "app/ProgramStart.h"
#include "app/TBramboldApplication.h"

#include "platform/error_box.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace {

// A window that records what happened to it.
class StandInWindow : public QWidget {
public:
    explicit StandInWindow(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name))
    {
        log.push_back("create " + this->name);
    }
    ~StandInWindow() override { log.push_back("destroy " + name); }

    std::vector<std::string>& log;
    std::string name;
};

class StartupWindowsRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        windows.createExtractionWindow = [this](const std::string& archive) {
            handed = archive;
            auto window = std::make_unique<StandInWindow>(log, "extraction");
            extraction = window.get();
            return window;
        };
        windows.createLauncherWindow = [this] {
            auto window = std::make_unique<StandInWindow>(log, "launcher");
            launcher = window.get();
            return window;
        };
        app::SetFileNotFoundBoxHandler([this](const QString& title, const QString& text) {
            boxes.push_back({title, text});
        });
    }
    void TearDown() override { app::SetFileNotFoundBoxHandler({}); }

    // Runs the road; `whileRunning` is called once the message loop runs.
    // A loop that does not end by itself fails the test instead of hanging.
    int Run(app::StartupRoad road, std::function<void()> whileRunning)
    {
        app::StartupChoice choice;
        choice.road = road;
        choice.CmdLineArchive = "My Files/a.rar";
        choice.ArchivePath = "/home/user/My Files/a.rar";
        QTimer::singleShot(0, whileRunning);
        bool hung = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            hung = true;
            QCoreApplication::quit();
        });
        watchdog.start(5000);
        const int code = app::RunStartupRoad(choice, windows);
        EXPECT_FALSE(hung) << "closing the main window did not end the message loop";
        return code;
    }

    app::StartupWindows windows;
    std::vector<std::string> log;
    std::string handed;  // the archive the extraction window was made for
    std::vector<std::pair<QString, QString>> boxes;
    QPointer<QWidget> extraction;
    QPointer<QWidget> launcher;
};

TEST_F(StartupWindowsRoad, ClosingTheExtractionWindowEndsTheProgramDespiteTheHiddenLauncher)
{
    bool extractionShown = false;
    bool launcherShown = true;
    const int code = Run(app::StartupRoad::Extract, [&] {
        extractionShown = extraction->isVisible();
        launcherShown = launcher->isVisible();
        extraction->close();
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(extractionShown);
    EXPECT_FALSE(launcherShown);
    // The extraction window is made first, so it is the main window; both
    // are gone when the program ends.
    EXPECT_EQ(log, (std::vector<std::string>{"create extraction", "create launcher", "destroy launcher",
                                             "destroy extraction"}));
    EXPECT_EQ(handed, "/home/user/My Files/a.rar");
}

TEST_F(StartupWindowsRoad, AWindowThatDeletesItselfOnClosingIsNotDeletedTwice)
{
    Run(app::StartupRoad::Extract, [&] {
        extraction->setAttribute(Qt::WA_DeleteOnClose);
        extraction->close();
    });
    EXPECT_EQ(std::count(log.begin(), log.end(), "destroy extraction"), 1);
}

TEST_F(StartupWindowsRoad, TheLauncherAloneIsTheMainWindowAndClosingItEndsTheProgram)
{
    bool launcherShown = false;
    const int code = Run(app::StartupRoad::Launcher, [&] {
        launcherShown = launcher->isVisible();
        launcher->close();
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(launcherShown);
    EXPECT_EQ(log, (std::vector<std::string>{"create launcher", "destroy launcher"}));
}

TEST_F(StartupWindowsRoad, AMissingArchiveShowsTheBoxAndNoWindow)
{
    app::StartupChoice choice;
    choice.road = app::StartupRoad::FileNotFound;
    choice.CmdLineArchive = "My  Files/m\xc3\xbcller.rar";
    EXPECT_EQ(app::RunStartupRoad(choice, windows), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, QStringLiteral("Error: File not found!"));
    EXPECT_EQ(boxes[0].second, QStringLiteral("My  Files/müller.rar"));
    EXPECT_TRUE(log.empty());
}

TEST(TBramboldApplication, AnErrorLeavingAHandlerIsShownAndTheProgramGoesOn)
{
    std::vector<QString> shown;
    platform::SetErrorBoxHandler([&](const QString& message) { shown.push_back(message); });
    bool laterHandlerRan = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("Brambold: broken handler"); });
    QTimer::singleShot(0, [&] { laterHandlerRan = true; });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    platform::SetErrorBoxHandler({});

    EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("Brambold: broken handler")}));
    EXPECT_TRUE(laterHandlerRan);
}

TEST(TBramboldApplication, TheApplicationIsNamedAfterTheProgram)
{
    app::SetUpApplication();
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Brambold Free Unrar"));
}

}  // namespace

TEST_F(StartupWindowsRoad, AWindowThatCannotBeMadeEndsTheProgramWithItsMessage)
{
    std::vector<QString> errors;
    platform::SetErrorBoxHandler([&](const QString& message) { errors.push_back(message); });
    windows.createExtractionWindow = [](const std::string&) -> std::unique_ptr<QWidget> {
        throw std::runtime_error("Cannot read /opt/brambold/silent.txt: Permission denied");
    };
    app::StartupChoice choice;
    choice.road = app::StartupRoad::Extract;
    EXPECT_EQ(app::RunStartupRoad(choice, windows), 0);
    platform::SetErrorBoxHandler({});
    EXPECT_EQ(errors, std::vector<QString>{"Cannot read /opt/brambold/silent.txt: Permission denied"});
    EXPECT_TRUE(log.empty()) << "the launcher was made after the failure";
}

namespace {

// Local time of a fixed moment under the current TZ.
std::tm LocalTimeNow(std::time_t moment)
{
    tzset();
    std::tm result{};
    localtime_r(&moment, &result);
    return result;
}

struct SavedTz {
    SavedTz() : had(std::getenv("TZ") != nullptr), value(had ? std::getenv("TZ") : "") {}
    ~SavedTz()
    {
        had ? setenv("TZ", value.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    bool had;
    std::string value;
};

}  // namespace

namespace {

// A zone file of five and a half hours east, no summer time, in the
// format the C library reads.
std::string ZoneFileFivePointFiveEast()
{
    std::string z = "TZif";
    z.append(16, '\0');  // version 1, reserved
    const auto count = [&z](uint32_t n) {
        for (int shift = 24; shift >= 0; shift -= 8)
            z += static_cast<char>((n >> shift) & 0xFF);
    };
    for (uint32_t n : {0u, 0u, 0u, 0u, 1u, 4u})  // ut/std flags, leaps, transitions, types, name bytes
        count(n);
    count(5 * 3600 + 1800);
    z += '\0';  // not summer time
    z += '\0';  // name at 0
    z.append("IST", 4);
    return z;
}

// What a child process saw with the zone file over /etc/localtime.
struct ZoneReport {
    bool setUp = false;
    bool named = false;
    std::tm before{};
    std::tm after{};
};

// In a mount namespace of its own, so the machine's zone stays as it is.
bool PutZoneOverLocaltime(const std::string& zoneFile)
{
    if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return false;
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(zoneFile.c_str(), "/etc/localtime", nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace

// Under UTC any name of a zone would leave the local time as it was: the
// machine's zone is made another one first, for a child process only.
TEST(TimeZone, AnUnsetZoneIsNamedWithoutChangingAnyLocalTime)
{
    char zoneFile[] = "/tmp/brambold-zone-XXXXXX";
    const int fd = mkstemp(zoneFile);
    ASSERT_GE(fd, 0);
    const std::string zone = ZoneFileFivePointFiveEast();
    ASSERT_EQ(write(fd, zone.data(), zone.size()), static_cast<ssize_t>(zone.size()));
    fchmod(fd, 0644);
    close(fd);
    int report[2];
    ASSERT_EQ(pipe(report), 0);

    const std::time_t summer = 1721217600;  // 17 July 2024, 12:00 UTC
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ZoneReport r;
        r.setUp = PutZoneOverLocaltime(zoneFile);
        if (r.setUp) {
            unsetenv("TZ");
            r.before = LocalTimeNow(summer);
            app::SetTimeZoneIfUnset();
            r.named = std::getenv("TZ") && *std::getenv("TZ");
            r.after = LocalTimeNow(summer);
        }
        const ssize_t written = write(report[1], &r, sizeof r);
        _exit(written == sizeof r ? 0 : 1);
    }
    close(report[1]);
    ZoneReport r;
    const ssize_t got = read(report[0], &r, sizeof r);
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    unlink(zoneFile);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof r));
    if (!r.setUp)
        GTEST_SKIP() << "no mount namespace here to give the machine another zone";

    // The stand-in zone is the one in force with TZ unset.
    ASSERT_EQ(std::tie(r.before.tm_hour, r.before.tm_min), std::make_tuple(17, 30));
    EXPECT_TRUE(r.named);
    EXPECT_EQ(std::tie(r.before.tm_hour, r.before.tm_min, r.before.tm_mday, r.before.tm_isdst),
              std::tie(r.after.tm_hour, r.after.tm_min, r.after.tm_mday, r.after.tm_isdst));
}

TEST(TimeZone, AZoneTheUserSetIsKept)
{
    SavedTz saved;
    setenv("TZ", "Europe/Berlin", 1);
    app::SetTimeZoneIfUnset();
    EXPECT_STREQ(std::getenv("TZ"), "Europe/Berlin");
}
