// The hidden browsing interface: rows, sorting, information, shortcuts, and
// what may happen while a run is under way.
#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <filesystem>

#include "rar4_writer.h"
#include "window_helpers.h"

namespace fs = std::filesystem;

namespace {

using extract_test::operator<<;

// Opens `archive` through Ctrl+O and the real open dialog.
void OpenThroughDialog(TfrmMain& window, const std::string& archive)
{
    ModalScript script([&](QWidget& w) {
        auto& dialog = dynamic_cast<QFileDialog&>(w);
        dialog.selectFile(QString::fromStdString(archive));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
}

TEST(Window, ShowsThePictureAndTheBarAndHasNoCloseBox)
{
    Environment env;
    auto window = env.Window(TestDataPath("ten.rar"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->size(), QSize(484, 265));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(Child<QLabel>(*window, "Image1").pixmap().isNull());
    // Nothing hidden takes room above the picture and the bar.
    EXPECT_EQ(Child<QWidget>(*window, "prgbrUnRar").mapTo(window.get(), QPoint()), QPoint(0, 242));
}

TEST(Listing, OpeningTenEntriesListsTenRowsAndSelectsTheFirstThree)
{
    Environment env;
    auto window = env.Window(TestDataPath("ten.rar"));
    OpenThroughDialog(*window, TestDataPath("ten.rar"));
    EXPECT_EQ(TfrmMainAccess::EntryCount(*window), 10);
    EXPECT_EQ(ColumnTexts(*window, 0).size(), 10);
    const TVoskUnRar& c = TfrmMainAccess::Component(*window);
    ASSERT_EQ(c.FileList.Count(), 3u);
    // No destination yet: the names stand alone.
    EXPECT_EQ(c.FileList[2], "f03.txt");
}

struct CellCase {
    const char* name;
    int row, column;
    QString text;
};

class RowCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(RowCells, ShowTheEntry)
{
    Environment env;
    auto window = env.Window(TestDataPath("rar4_windows.rar"));
    TfrmMainAccess::ListArchive(*window, TestDataPath("rar4_windows.rar"));
    EXPECT_EQ(ColumnTexts(*window, GetParam().column).value(GetParam().row), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Columns, RowCells,
                         ::testing::Values(CellCase{"ReadOnlyArchiveLetters", 3, 15, "AR"},
                                           CellCase{"FolderPartWithSlash", 5, 1, "docs/"},
                                           CellCase{"NamePartOnly", 5, 0, "notes.txt"},
                                           CellCase{"FolderFlag", 4, 5, "*"},
                                           CellCase{"DateAndTime", 0, 11, "17 May 2024 12:34:56"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RowCells, MidnightShowsTheDateOnly)
{
    Environment env;
    rar4::Entry midnight;
    midnight.name = "midnight.txt";
    midnight.dosTime = rar4::DosTime(2024, 5, 17, 0, 0, 0);
    rar4::WriteFile(env.work.File("midnight.rar"), rar4::WriteArchive({midnight}));
    auto window = env.Window(env.work.File("midnight.rar"));
    TfrmMainAccess::ListArchive(*window, env.work.File("midnight.rar"));
    EXPECT_EQ(ColumnTexts(*window, 11), QStringList{"17 May 2024"});
}

struct SortCase {
    const char* name;
    const char* archive;
    int column;
    int shownColumn;
    QStringList order;
};

class Sorting : public ::testing::TestWithParam<SortCase> {};

TEST_P(Sorting, OrdersAsTextIgnoringAsciiCase)
{
    Environment env;
    auto window = env.Window(TestDataPath(GetParam().archive));
    TfrmMainAccess::ListArchive(*window, TestDataPath(GetParam().archive));
    for (int click = 0; click < 2; ++click) {
        window->lstvwMainColumnClick(GetParam().column);
        EXPECT_EQ(ColumnTexts(*window, GetParam().shownColumn), GetParam().order) << click;
    }
}

const QStringList NoStar(9, QString());
const QStringList Stars(5, QStringLiteral("*"));

INSTANTIATE_TEST_SUITE_P(
    Columns, Sorting,
    ::testing::Values(SortCase{"SizesByFirstDigit", "sizes.rar", 2, 0, {"s10.txt", "s100.txt", "s9.txt"}},
                      SortCase{"EmptyBeforeStar", "plain.rar", 5, 5, NoStar + Stars},
                      SortCase{"NamePartMixesFolders",
                               "plain.rar",
                               0,
                               0,
                               {"bin", "deep", "docs", "empty", "guide.txt", "Müller.txt", "nested", "notes.txt",
                                "pattern.bin", "random.bin", "readme.txt", "readonly.txt", "table.csv", "日本語.txt"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Presses `key` with Ctrl once the idle enabling has run; gives the titles
// of the message boxes and the number of folder questions that followed.
std::pair<QStringList, size_t> Press(Environment& env, TfrmMain& window, Qt::Key key, QString* text = nullptr)
{
    QStringList boxes;
    ModalScript script([&](QWidget& w) {
        auto& box = dynamic_cast<QMessageBox&>(w);
        boxes << box.windowTitle();
        if (text)
            *text = box.text();
        box.accept();
    });
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    const size_t asked = env.chooserCalls.size();
    RunIdle();
    QTest::keyClick(&window, key, Qt::ControlModifier);
    RunIdle();
    return {boxes, env.chooserCalls.size() - asked};
}

TEST(Shortcuts, DoNothingUntilAnArchiveIsLoadedAndAfterItIsClosed)
{
    Environment env;
    auto window = env.Window(TestDataPath("comment.rar"));
    EXPECT_TRUE(Press(env, *window, Qt::Key_A).first.isEmpty());
    EXPECT_EQ(Press(env, *window, Qt::Key_E).second, 0u);

    TfrmMainAccess::ListArchive(*window, TestDataPath("comment.rar"));
    EXPECT_EQ(Press(env, *window, Qt::Key_A).first, QStringList{"Archiv-Info"});
    EXPECT_EQ(Press(env, *window, Qt::Key_E).second, 1u);

    Press(env, *window, Qt::Key_S);
    EXPECT_FALSE(TfrmMainAccess::ArchiveLoaded(*window));
    EXPECT_TRUE(Press(env, *window, Qt::Key_A).first.isEmpty());
    EXPECT_EQ(TfrmMainAccess::EntryCount(*window), 3);
}

struct InfoCase {
    const char* name;
    const char* archive;
    QString text;
};

class ArchiveInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(ArchiveInfo, JoinsItsLinesWithLfCr)
{
    Environment env;
    auto window = env.Window(TestDataPath(GetParam().archive));
    TfrmMainAccess::ListArchive(*window, TestDataPath(GetParam().archive));
    QString text;
    Press(env, *window, Qt::Key_A, &text);
    EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ArchiveInfo,
    ::testing::Values(InfoCase{"WithComment", "comment.rar",
                               "Dateien: 3\n\rGepackte Größe: 61\n\rUngepackte Größe: 61\n\rKommentar: "
                               "Brambold Testkommentar: Grüße aus dem Archiv.\nZweite Zeile des Kommentars.\n"},
                      InfoCase{"TotalsBeyondFourGiB", "rar4_large.rar",
                               "Dateien: 2\n\rGepackte Größe: 46\n\rUngepackte Größe: 5368709150\n\rKommentar: "}),
    [](const auto& info) { return std::string(info.param.name); });

struct NestedCase {
    const char* name;
    const char* action;
};

class DuringARun : public ::testing::TestWithParam<NestedCase> {};

TEST_P(DuringARun, TheActionIsIgnored)
{
    Environment env;
    auto window = env.Window(TestDataPath("ten.rar"));
    bool fired = false;
    ModalScript dialogs([](QWidget& w) { w.close(); });
    // Fires from the listing's own message handling, in the middle of the run.
    QTimer::singleShot(0, window.get(), [&] {
        window->appevtMainIdle();
        QAction& action = Child<QAction>(*window, GetParam().action);
        ASSERT_TRUE(action.isEnabled());
        action.trigger();
        fired = true;
    });
    TfrmMainAccess::ListArchive(*window, TestDataPath("ten.rar"));
    ASSERT_TRUE(fired);
    EXPECT_TRUE(dialogs.seen.empty());
    EXPECT_TRUE(env.chooserCalls.empty());
    EXPECT_TRUE(TfrmMainAccess::ArchiveLoaded(*window));
    EXPECT_EQ(ColumnTexts(*window, 0).size(), 10);
    EXPECT_EQ(TfrmMainAccess::StatusLog(*window).size(), 3);
}

INSTANTIATE_TEST_SUITE_P(Actions, DuringARun,
                         ::testing::Values(NestedCase{"Extract", "acExtract"}, NestedCase{"Open", "acFileOpen"},
                                           NestedCase{"Close", "acFileClose"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Asked to close during an action's run, the window stops the run and closes
// once the action is over, beginning nothing more meanwhile.
TEST(CloseRequest, DuringAnActionsRunStopsItAndClosesTheWindowAfterwards)
{
    Environment env;
    auto window = env.Window(TestDataPath("ten.rar"));
    TfrmMainAccess::ListArchive(*window, TestDataPath("ten.rar"));
    env.chooserAnswer = env.work.Path();
    bool asked = false;
    QObject::connect(&Child<QProgressBar>(*window, "prgbrUnRar"), &QProgressBar::valueChanged, [&](int v) {
        if (v == 30 && !asked) {
            asked = true;
            window->close();
        }
    });
    window->acExtractExecute();
    ASSERT_TRUE(asked);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(TfrmMainAccess::StatusLog(*window).contains("Fehler: Brambold: Stopped!"));
    EXPECT_FALSE(fs::exists(env.work.File("f10.txt")));

    window->acExtractExecute();  // a shortcut before the close comes
    EXPECT_EQ(env.chooserCalls.size(), 1u);
    RunIdle();
    EXPECT_FALSE(window->isVisible());
}

TEST(Stop, EndsTheRunInTheMiddleOfOneLargeEntry)
{
    Environment env;
    const std::string archive = EXTRACT_DATA_DIR "/zeros.rar";
    auto window = env.Window(archive);
    TfrmMainAccess::ListArchive(*window, archive);
    env.chooserAnswer = env.work.Path();
    const std::string target = env.work.File("zeros.bin");
    bool stopped = false;
    QTimer poll;
    // The data grows under a temporary name until the entry is complete.
    // The entry is written into a file without a name: only this process's
    // descriptor of it shows that data has arrived.
    const auto writing = [&] {
        std::error_code error;
        const std::string folder = fs::canonical(env.work.Path()).string() + "/";
        for (const auto& e : fs::directory_iterator("/proc/self/fd", error)) {
            const std::string at = fs::read_symlink(e.path(), error).string();
            if (at.rfind(folder, 0) == 0 && at.ends_with(" (deleted)") && fs::file_size(e.path(), error) > 0)
                return true;
        }
        return false;
    };
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!stopped && writing()) {
            window->appevtMainIdle();
            Child<QAction>(*window, "acStop").trigger();
            stopped = true;
        }
    });
    poll.start(1);
    window->acExtractExecute();
    ASSERT_TRUE(stopped);
    // Neither the part written nor anything under the entry's name is left.
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(writing());
    for (const auto& e : fs::directory_iterator(env.work.Path()))
        EXPECT_NE(e.path().filename().string().rfind(".brambold-", 0), 0u) << e.path();
}

}  // namespace
