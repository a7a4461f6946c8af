// Overwrite questions and extraction into a chosen folder.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "platform/folder_chooser.h"
#include "window_helpers.h"

namespace fs = std::filesystem;

namespace {

using extract_test::operator<<;

const std::string Old = "old content\n";

// "<folder>/f01.txt" for n = 1, and so on.
std::string Ten(const std::string& folder, int n)
{
    return folder + (n < 10 ? "/f0" : "/f") + std::to_string(n) + ".txt";
}

void PutOldFiles(const std::string& folder, std::initializer_list<int> numbers)
{
    for (int n : numbers)
        std::ofstream(Ten(folder, n), std::ios::binary) << Old;
}

bool IsOld(const std::string& folder, int n)
{
    return ReadFileBytes(Ten(folder, n)) == Old;
}

// Answers overwrite questions in turn; "close" uses the close box, "escape"
// the key.
ModalScript Answers(std::vector<const char*> buttons, std::vector<QString>* names = nullptr)
{
    auto queue = std::make_shared<std::vector<const char*>>(std::move(buttons));
    return ModalScript([queue, names](QWidget& w) {
        if (names)
            names->push_back(Child<QLabel>(w, "lblFileName").text());
        const char* button = queue->empty() ? "close" : queue->front();
        if (!queue->empty())
            queue->erase(queue->begin());
        if (std::string(button) == "close")
            w.close();
        else if (std::string(button) == "escape")
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            Child<QPushButton>(w, button).click();
    });
}

struct OverwriteCase {
    const char* name;
    std::vector<const char*> answers;
    size_t questions;
    std::vector<bool> oldAfter;  // f01..f03
};

class OverwriteQuestion : public ::testing::TestWithParam<OverwriteCase> {};

TEST_P(OverwriteQuestion, DecidesForTheFileAndTheRestOfTheRun)
{
    Environment env;
    const std::string out = env.work.File("out");
    fs::create_directory(out);
    PutOldFiles(out, {1, 2, 3});
    env.WriteFolderTxt(out);
    auto window = env.Window(env.CopyArchive("ten.rar", env.work.Path()));
    std::vector<QString> names;
    ModalScript script = Answers(GetParam().answers, &names);
    window->Timer1Timer();

    ASSERT_EQ(names.size(), GetParam().questions);
    EXPECT_EQ(names.front().toStdString(), out + "/f01.txt");
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(IsOld(out, n), GetParam().oldAfter[n - 1]) << n;
    for (int n = 4; n <= 10; ++n)
        EXPECT_FALSE(IsOld(out, n)) << n;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, OverwriteQuestion,
    ::testing::Values(
        OverwriteCase{"YesOverwritesAndAsksAgain", {"btnYes"}, 3, {false, true, true}},
        OverwriteCase{"NoKeepsAndAsksAgain", {"btnNo", "btnYes", "btnYes"}, 3, {true, false, false}},
        OverwriteCase{"OverwriteAllAsksNoMore", {"btnAlways"}, 1, {false, false, false}},
        OverwriteCase{"OverwriteNoneAsksNoMore", {"btnYes", "btnNever"}, 2, {false, true, true}},
        OverwriteCase{"CloseBoxKeepsAndAsksAgain", {"close"}, 3, {true, true, true}},
        OverwriteCase{"EscapeKeepsAndAsksAgainAsTheCloseBox", {"escape", "btnYes", "escape"}, 3, {true, false, true}}),
    [](const auto& info) { return std::string(info.param.name); });

// A listed ten.rar with the given rows selected, extracted into a chosen folder.
struct ChosenExtraction {
    ChosenExtraction(std::initializer_list<int> rows, std::initializer_list<int> oldFiles,
                     std::vector<const char*> answers = {})
    {
        fs::create_directory(out);
        PutOldFiles(out, oldFiles);
        env.chooserAnswer = out;
        TfrmMainAccess::ListArchive(*window, TestDataPath("ten.rar"));
        auto& list = Child<QTreeView>(*window, "lstvwMain");
        for (int row : rows)
            list.selectionModel()->select(list.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ModalScript script = Answers(std::move(answers));
        window->acExtractExecute();
    }
    Environment env;
    std::string out = env.work.File("out");
    std::unique_ptr<TfrmMain> window = env.Window(TestDataPath("ten.rar"));
};

TEST(ChosenFolder, ExtractsOnlyTheSelectedRowsInRowOrder)
{
    const ChosenExtraction run({7, 1, 4}, {});
    const TFileList& list = TfrmMainAccess::Component(*run.window).FileList;
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list[0], run.out + "/f02.txt");
    EXPECT_EQ(list[2], run.out + "/f08.txt");
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(fs::exists(Ten(run.out, n)), n == 2 || n == 5 || n == 8) << n;
}

TEST(ChosenFolder, OverwriteAllLetsEveryLaterEntryThroughSelectedOrNot)
{
    const ChosenExtraction run({2, 6}, {3}, {"btnAlways"});
    EXPECT_FALSE(fs::exists(Ten(run.out, 2)));
    for (int n = 3; n <= 10; ++n)
        EXPECT_FALSE(IsOld(run.out, n)) << n;
}

TEST(ChosenFolder, TheStartUpRunWaitsWhileTheChooserIsOpen)
{
    Environment env;
    auto window = env.Window(TestDataPath("ten.rar"));
    platform::SetFolderChooserHandler([&](QWidget*, const QString&, const QString&) {
        window->Timer1Timer();
        return QString();
    });
    window->acExtractExecute();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Brambold Free Unrar"));
    EXPECT_TRUE(Child<QTimer>(*window, "Timer1").isActive());
}

}  // namespace
