// The overwrite prompt, the folder chooser and the path helper on their own.
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "extract/TfrmOverWrite.h"
#include "extract/TfrmStatus.h"
#include "extract/untVoskFileLib.h"
#include "platform/folder_chooser.h"
#include "window_helpers.h"

namespace {

using extract_test::operator<<;

// Shows the prompt for a name about `pixels` wide; gives the window's and the label's width.
std::pair<int, int> ShownFor(int pixels)
{
    TfrmOverWrite dialog;
    auto& label = Child<QLabel>(dialog, "lblFileName");
    QString name = QStringLiteral("/");
    while (QFontMetrics(label.font()).horizontalAdvance(name) < pixels)
        name += QLatin1Char('x');
    dialog.SetFileName(name);
    dialog.show();
    return {dialog.width(), label.width()};
}

TEST(OverwritePrompt, WidensToTheFileNameButNeverShrinksNorPassesTheScreen)
{
    const int screen = QGuiApplication::primaryScreen()->availableGeometry().width();
    EXPECT_EQ(ShownFor(50).first, 592);
    const auto [wide, label] = ShownFor(600);
    ASSERT_LT(label + 50, screen);
    EXPECT_EQ(wide, label + 50);
    EXPECT_EQ(ShownFor(screen + 100).first, screen - 10);
}

// Tab leaves the log for "Ok", as the tab order says; Return is a line break.
TEST(StatusWindow, TabMovesToOkAndReturnStaysInTheLog)
{
    TfrmStatus dialog;
    dialog.SetLines({"first"});
    dialog.show();
    auto& log = Child<QPlainTextEdit>(dialog, "mmStatus");
    log.setFocus();
    log.moveCursor(QTextCursor::End);
    QTest::keyClick(&log, Qt::Key_Return);
    EXPECT_EQ(log.toPlainText(), QStringLiteral("first\n"));
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(&log, Qt::Key_Tab);
    EXPECT_EQ(log.toPlainText(), QStringLiteral("first\n"));
    EXPECT_EQ(dialog.focusWidget(), &Child<QPushButton>(dialog, "Button1"));
}

struct StripCase {
    const char* name;
    std::string path, stripped;
};

class StripTrailing : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripTrailing, RemovesOneSlash)
{
    std::string path = GetParam().path;
    StripTrailingBackslash(path);
    EXPECT_EQ(path, GetParam().stripped);
}

INSTANTIATE_TEST_SUITE_P(Paths, StripTrailing,
                         ::testing::Values(StripCase{"OneTrailingSlashGoes", "/a/b/", "/a/b"},
                                           StripCase{"OfTwoOnlyTheLastGoes", "/a/b//", "/a/b/"},
                                           StripCase{"RootStays", "/", "/"}, StripCase{"EmptyStays", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FolderChooser, AsksWithItsTitleAndGivesEmptyOnCancel)
{
    QString title;
    platform::SetFolderChooserHandler([&](QWidget*, const QString& t, const QString&) {
        title = t;
        return QString();
    });
    std::string result = "old";
    ChooseFolder(nullptr, "Extract to...", "/start", result);
    platform::SetFolderChooserHandler({});
    EXPECT_EQ(title, QStringLiteral("Wählen Sie bitte einen Ordner aus ..."));
    EXPECT_EQ(result, "");
}

}  // namespace
