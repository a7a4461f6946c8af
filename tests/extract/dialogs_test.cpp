// The overwrite prompt, the folder chooser and the path helper on their own.
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "extract/TfrmOverWrite.h"
#include "extract/untVoskFileLib.h"
#include "platform/folder_chooser.h"
#include "window_helpers.h"

namespace {

using extract_test::operator<<;

struct ButtonCase {
    const char* name;
    const char* button;  // null: the close box
    int result;
};

class OverwriteAnswer : public ::testing::TestWithParam<ButtonCase> {};

TEST_P(OverwriteAnswer, ReturnsItsResult)
{
    TfrmOverWrite dialog;
    dialog.SetFileName("/tmp/out/a.txt");
    ModalScript script([](QWidget& w) {
        if (const char* button = GetParam().button)
            Child<QPushButton>(w, button).click();
        else
            w.close();
    });
    EXPECT_EQ(dialog.exec(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Buttons, OverwriteAnswer,
                         ::testing::Values(ButtonCase{"Yes", "btnYes", 6}, ButtonCase{"No", "btnNo", 7},
                                           ButtonCase{"OverwriteAllFiles", "btnAlways", 10},
                                           ButtonCase{"OverwriteNoFiles", "btnNever", 9},
                                           ButtonCase{"CloseBoxCancels", nullptr, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Width of the window shown for a file name of `pixels` width (roughly).
int ShownWidthForNameOf(int pixels, int* labelWidth)
{
    TfrmOverWrite dialog;
    const QFontMetrics metrics(Child<QLabel>(dialog, "lblFileName").font());
    QString name = QStringLiteral("/");
    while (metrics.horizontalAdvance(name) < pixels)
        name += QLatin1Char('x');
    dialog.SetFileName(name);
    dialog.show();
    *labelWidth = Child<QLabel>(dialog, "lblFileName").width();
    return dialog.width();
}

TEST(OverwritePrompt, WidensToTheFileNameButNeverShrinksNorPassesTheScreen)
{
    const int screenWidth = QGuiApplication::primaryScreen()->availableGeometry().width();
    int label = 0;
    EXPECT_EQ(ShownWidthForNameOf(50, &label), 592);
    const int wide = ShownWidthForNameOf(600, &label);
    ASSERT_LT(label + 50, screenWidth);
    EXPECT_EQ(wide, label + 50);
    EXPECT_EQ(ShownWidthForNameOf(screenWidth + 100, &label), screenWidth - 10);
}

struct StripCase {
    const char* name;
    std::string path;
    std::string stripped;
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
                                           StripCase{"RootStays", "/", "/"},
                                           StripCase{"EmptyStays", "", ""},
                                           StripCase{"NoSlashNoChange", "/a/b", "/a/b"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FolderChooser, PassesTitleAndInitialFolderAndGivesEmptyOnCancel)
{
    QString title;
    QString initial;
    QString answer = QStringLiteral("/chosen");
    platform::SetFolderChooserHandler([&](QWidget*, const QString& t, const QString& i) {
        title = t;
        initial = i;
        return answer;
    });
    std::string result = "old";
    ChooseFolder(nullptr, "Extract to...", "", result);
    EXPECT_EQ(title, QStringLiteral("Wählen Sie bitte einen Ordner aus ..."));
    EXPECT_EQ(initial, QString());
    EXPECT_EQ(result, "/chosen");

    answer.clear();
    ChooseFolder(nullptr, "Extract to...", "/start/here", result);
    EXPECT_EQ(initial, QStringLiteral("/start/here"));
    EXPECT_EQ(result, "");
    platform::SetFolderChooserHandler({});
}

}  // namespace
