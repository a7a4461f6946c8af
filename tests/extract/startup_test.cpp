// The start-up road: list, extract, show where it went, close.
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "fake_unrar/fake_unrar_control.h"
#include "window_helpers.h"

namespace fs = std::filesystem;

namespace {

using extract_test::operator<<;

// Runs the start-up extraction of `archive`; records captions and catches
// the status window, if one is shown.
struct StartupRun {
    StartupRun(Environment& env, const std::string& archive, IUnRarPrompts* prompts = nullptr)
    {
        auto window = env.Window(archive);
        if (prompts)
            window->SetPrompts(prompts);
        QObject::connect(window.get(), &QWidget::windowTitleChanged, [this](const QString& t) { captions << t; });
        QObject::connect(&Child<QProgressBar>(*window, "prgbrUnRar"), &QProgressBar::valueChanged,
                         [this](int v) { progress.push_back(v); });
        ModalScript script([this](QWidget& w) {
            statusWindow = Child<QPlainTextEdit>(w, "mmStatus").toPlainText().split('\n');
            Child<QPushButton>(w, "Button1").click();
        });
        window->Timer1Timer();
        closed = !window->isVisible();
        log = TfrmMainAccess::StatusLog(*window);
    }
    QStringList captions;
    QStringList log;
    QStringList statusWindow;
    std::vector<int> progress;
    bool closed = false;
};

const QStringList RunLines = {": Archiv wird geöffnet", ": Archiv geöffnet", ": Nach Schließen"};

TEST(StartupExtraction, ExtractsIntoTheArchiveFolderAndSaysSo)
{
    Environment env;
    const std::string archive = env.CopyArchive("plain.rar", env.work.Path());
    const StartupRun run(env, archive);
    fs::remove(archive);

    const QString folder = QString::fromStdString(env.work.Path());
    EXPECT_EQ(run.captions,
              (QStringList{"Brambold Free Unrar - plain.rar", "plain.rar --> " + folder, "OK! --> " + folder}));
    EXPECT_TRUE(TreesEqual(TestDataPath("source/tree"), env.work.Path(), {true}));
    EXPECT_EQ(run.log, RunLines + RunLines);
    EXPECT_TRUE(run.statusWindow.isEmpty());
    EXPECT_EQ(env.sleeps, std::vector<unsigned>{2100});
    EXPECT_TRUE(run.closed);
}

// Start-up decides the path; the command line, naming another archive that
// stands in the program's folder, is none of the window's business.
TEST(StartupExtraction, UnpacksTheHandedArchiveWhateverTheCommandLineSays)
{
    Environment env;
    ASSERT_EQ(QCoreApplication::arguments().mid(1), QStringList{"command-line.rar"});
    env.CopyArchive("ten.rar", env.program.Path());
    fs::rename(env.program.File("ten.rar"), env.program.File("command-line.rar"));
    const std::string archive = env.CopyArchive("plain.rar", env.work.Path());
    const StartupRun run(env, archive);
    fs::remove(archive);

    ASSERT_FALSE(run.captions.isEmpty());
    EXPECT_EQ(run.captions.front(), "Brambold Free Unrar - plain.rar");
    EXPECT_EQ(run.captions.back().toStdString(), "OK! --> " + env.work.Path());
    EXPECT_TRUE(TreesEqual(TestDataPath("source/tree"), env.work.Path(), {true}));
}

TEST(StartupExtraction, MovesTheBarOneTenthPerEntryOfTenEntries)
{
    Environment env;
    const StartupRun run(env, env.CopyArchive("ten.rar", env.work.Path()));
    EXPECT_EQ(run.progress, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}

struct FolderTxtCase {
    const char* name;
    std::string content;      // "{}" stands for the work folder
    std::string destination;  // as the caption shows it, "{}" likewise
    std::string unpackedIn;   // folder under the work folder
};

std::string Fill(std::string text, const std::string& folder)
{
    for (size_t at; (at = text.find("{}")) != std::string::npos;)
        text.replace(at, 2, folder);
    return text;
}

class FolderTxt : public ::testing::TestWithParam<FolderTxtCase> {};

TEST_P(FolderTxt, NamesTheDestination)
{
    Environment env;
    for (const char* sub : {"out", " out ", "other"})
        fs::create_directory(env.work.File(sub));
    env.WriteFolderTxt(Fill(GetParam().content, env.work.Path()));
    const StartupRun run(env, env.CopyArchive("ten.rar", env.program.Path()));

    ASSERT_FALSE(run.captions.isEmpty());
    EXPECT_EQ(run.captions.back().toStdString(), "OK! --> " + Fill(GetParam().destination, env.work.Path()));
    EXPECT_TRUE(TreesEqual(TestDataPath("source/ten"), env.work.File(GetParam().unpackedIn)));
}

INSTANTIATE_TEST_SUITE_P(Lines, FolderTxt,
                         ::testing::Values(FolderTxtCase{"OneTrailingSlashIsDropped", "{}/out/", "{}/out", "out"},
                                           FolderTxtCase{"OfTwoTrailingSlashesOneStays", "{}/out//", "{}/out/", "out"},
                                           FolderTxtCase{"BlanksAroundTheNameStay", "{}/ out ", "{}/ out ", " out "},
                                           FolderTxtCase{"OnlyTheFirstLineCounts", "{}/out\n{}/other\n", "{}/out",
                                                         "out"},
                                           FolderTxtCase{"CrLfEndsTheLine", "{}/out\r\n", "{}/out", "out"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    const char* archive;
    std::function<void(Environment&)> setUp;
    const char* password;   // for the scripted prompt; null: no prompt expected
    std::string errorLine;  // the start of a line of the log; "{}" stands for the work folder
};

class ErrorRoad : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorRoad, EndsOnFehlerAndShowsTheStatusLog)
{
    Environment env;
    const std::string archive = env.CopyArchive(GetParam().archive, env.work.Path());
    GetParam().setUp(env);
    ScriptedPrompts prompts({GetParam().password ? GetParam().password : ""});
    const StartupRun run(env, archive, &prompts);

    ASSERT_FALSE(run.captions.isEmpty());
    EXPECT_TRUE(run.captions.back().startsWith("Fehler! --> ")) << run.captions.back().toStdString();
    EXPECT_EQ(run.statusWindow, run.log);
    const QString expected = QString::fromStdString(Fill(GetParam().errorLine, env.work.Path()));
    EXPECT_TRUE(std::any_of(run.log.begin(), run.log.end(), [&](const QString& l) { return l.startsWith(expected); }))
        << run.log.join('|').toStdString();
    EXPECT_EQ(GetParam().password != nullptr, prompts.asked > 0);
    EXPECT_TRUE(env.sleeps.empty());
    EXPECT_TRUE(run.closed);
}

void Nothing(Environment&) {}

// A socket "exists" (it is no folder), and no one can read it, root included.
void MakeUnreadable(const std::string& path)
{
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(s);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ErrorRoad,
    ::testing::Values(ErrorCase{"MissingDestination", "ten.rar",
                                [](Environment& env) { env.WriteFolderTxt(env.work.File("nowhere")); }, nullptr,
                                "Fehler: Brambold: Destination folder not found: {}/nowhere"},
                      ErrorCase{"UnreadableFolderTxt", "ten.rar",
                                [](Environment& env) { MakeUnreadable(env.program.File("folder.txt")); }, nullptr,
                                "Fehler: Brambold: Cannot read folder.txt!"},
                      // The engine's own read error leaves the run; the window still ends.
                      ErrorCase{"UnreadablePasswordTxt", "password.rar",
                                [](Environment& env) { MakeUnreadable(env.program.File("password.txt")); }, nullptr,
                                "Fehler: Cannot read /"},
                      ErrorCase{"WrongPassword", "password.rar", Nothing, "wrong", "Fehler: Brambold: Wrong password!"},
                      ErrorCase{"DamagedData", "damaged.rar", Nothing, nullptr, "Fehler: Brambold: Corrupted data!"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PasswordCase {
    const char* name;
    const char* archive;
    std::vector<std::string> answers;
};

class RightPassword : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(RightPassword, UnpacksEveryFile)
{
    Environment env;
    fs::create_directory(env.work.File("out"));
    env.WriteFolderTxt(env.work.File("out"));
    ScriptedPrompts prompts(GetParam().answers);
    const StartupRun run(env, env.CopyArchive(GetParam().archive, env.work.Path()), &prompts);
    EXPECT_TRUE(run.captions.back().startsWith("OK! --> ")) << run.log.join('|').toStdString();
    EXPECT_TRUE(TreesEqual(TestDataPath("source/comment"), env.work.File("out")));
    EXPECT_TRUE(run.log.contains("Brambold: Used Password is: secret: Passwortabfrage"));
}

// Only the extraction's errors decide the caption: a password mistyped while
// listing encrypted headers says nothing about the extraction after it.
INSTANTIATE_TEST_SUITE_P(Archives, RightPassword,
                         ::testing::Values(PasswordCase{"EncryptedData", "password.rar", {"secret"}},
                                           PasswordCase{"EncryptedHeadersMistypedWhileListing",
                                                        "headers_password.rar",
                                                        {"wrong", "secret"}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// The listing waits a second; its header walk is made meanwhile and serves it.
TEST(StartupWait, TheListingIsServedFromTheWalkMadeDuringTheWait)
{
    Environment env;
    const std::string archive = env.CopyArchive("plain.rar", env.work.Path());
    auto window = env.Window(archive);
    TfrmMainAccess::ListArchive(*window, archive);
    EXPECT_TRUE(TfrmMainAccess::Component(*window).Replayed());
    EXPECT_EQ(TfrmMainAccess::EntryCount(*window), 14);
    EXPECT_EQ(TfrmMainAccess::StatusLog(*window), RunLines);
}

// The scripted stand-in for the library, loaded by the windows made while it
// lives; our own reference keeps its script across their loads and frees.
struct FakeLibrary {
    FakeLibrary()
    {
        setenv("BRAMBOLD_UNRAR_LIBRARY", FAKE_UNRAR_PATH, 1);
        handle = dlopen(FAKE_UNRAR_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle) {
            script = reinterpret_cast<FakeUnRarScriptFn>(dlsym(handle, "FakeUnRarScript"));
            log = reinterpret_cast<FakeUnRarLogFn>(dlsym(handle, "FakeUnRarLog"));
        }
    }
    ~FakeLibrary()
    {
        unsetenv("BRAMBOLD_UNRAR_LIBRARY");
        if (handle)
            dlclose(handle);
    }
    int Count(const std::string& line) const
    {
        std::istringstream in(log());
        int n = 0;
        for (std::string l; std::getline(in, l);)
            n += l == line;
        return n;
    }
    void* handle = nullptr;
    FakeUnRarScriptFn script = nullptr;
    FakeUnRarLogFn log = nullptr;
};

// Closed during the wait, the window gives its head start up at once; it is
// not left walking the archive until the window is destroyed.
TEST(StartupWait, ClosingTheWindowDuringTheWaitEndsTheWalk)
{
    Environment env;
    FakeLibrary fake;
    ASSERT_TRUE(fake.script && fake.log) << dlerror();
    // Two seconds of walking: 400 headers of 5 ms each.
    std::string text = "pause 5\n";
    for (int i = 0; i < 400; ++i)
        text += "header 0 name=f" + std::to_string(i) + "\nprocess 0\n";
    fake.script(text.c_str());
    const std::string archive = env.work.File("slow.rar");
    std::ofstream(archive) << "Rar!";

    auto window = env.Window(archive);
    ASSERT_EQ(TListingRecorder::Running(), 1);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(TListingRecorder::Running(), 0);
    // Stopped on its way, not waited out.
    EXPECT_LT(fake.Count("read -> 0"), 400);
}
