#include "app/Startup.h"

#include "platform/program_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

struct JoinCase {
    const char* name;
    Arguments arguments;
    std::string joined;
};

void PrintTo(const JoinCase& row, std::ostream* out) { *out << row.name; }

class JoinArguments : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinArguments, ComposesTheArchivePath)
{
    EXPECT_EQ(app::JoinArguments(GetParam().arguments), GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JoinArguments,
    ::testing::Values(
        JoinCase{"no_arguments_give_an_empty_path", {}, ""},
        JoinCase{"one_argument_is_trimmed_and_kept_whole", {"  /tmp/My   Files/a.rar\t"}, "/tmp/My   Files/a.rar"},
        JoinCase{"two_arguments_join_with_one_blank", {"/tmp/My", "Files/a.rar"}, "/tmp/My Files/a.rar"},
        JoinCase{"each_argument_is_trimmed_before_joining", {" /tmp/My\n", "\tFiles/a.rar "}, "/tmp/My Files/a.rar"},
        JoinCase{"an_empty_argument_still_adds_its_blank", {"a", "", "b.rar"}, "a  b.rar"},
        JoinCase{"empty_arguments_at_the_ends_are_trimmed_away", {"", "a.rar", ""}, "a.rar"},
        JoinCase{"control_characters_count_as_blanks", {"\x01\x1f" "a.rar\x7f"}, "a.rar\x7f"},
        JoinCase{"non_ascii_ends_are_not_trimmed", {"Müller", "日本語"}, "Müller 日本語"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EndingCase {
    const char* name;
    std::string text;
    std::string ending;
    bool rar;
};

void PrintTo(const EndingCase& row, std::ostream* out) { *out << row.name; }

class ArchiveEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(ArchiveEnding, TakesTheLastFourCharactersInLowerCase)
{
    EXPECT_EQ(app::LastFourLower(GetParam().text), GetParam().ending);
    EXPECT_EQ(app::IsRarEnding(app::LastFourLower(GetParam().text)), GetParam().rar);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ArchiveEnding,
    ::testing::Values(
        EndingCase{"dot_rar", "a.rar", ".rar", true},
        EndingCase{"capitals_are_lowered", "ARCHIVE.RAR", ".rar", true},
        EndingCase{"three_characters_rar_in_any_case", "RaR", "rar", true},
        EndingCase{"rar_without_dot_in_a_longer_name", "xrar", "xrar", false},
        EndingCase{"other_extension", "a.zip", ".zip", false},
        EndingCase{"short_text_taken_whole", "ab", "ab", false},
        EndingCase{"only_ascii_letters_are_lowered", "Ä.RAR", ".rar", true}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs each road choice in a fresh current folder and program folder.
class StartupRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid() && program.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        platform::SetProgramFolder(program.path().toStdString());
    }
    void TearDown() override
    {
        QDir::setCurrent(previous);
        platform::SetProgramFolder("");
    }
    static void Touch(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir work;
    QTemporaryDir program;
    QString previous;
};

TEST_F(StartupRoad, ShutdownIsMatchedExactlyAndIgnoresFurtherArguments)
{
    EXPECT_EQ(app::ChooseStartupRoad({"shutdown"}).road, app::StartupRoad::Shutdown);
    EXPECT_EQ(app::ChooseStartupRoad({"shutdown", "a.rar"}).road, app::StartupRoad::Shutdown);
    EXPECT_EQ(app::ChooseStartupRoad({"Shutdown"}).road, app::StartupRoad::Launcher);
    EXPECT_EQ(app::ChooseStartupRoad({"SHUTDOWN"}).road, app::StartupRoad::Launcher);
    EXPECT_EQ(app::ChooseStartupRoad({" shutdown"}).road, app::StartupRoad::Launcher);
}

TEST_F(StartupRoad, AnythingButARarPathShowsTheLauncher)
{
    Touch("a.zip");
    Touch("datarar");
    for (const Arguments& arguments : {Arguments{}, Arguments{"a.zip"}, Arguments{"datarar"}, Arguments{"   "}}) {
        const app::StartupChoice choice = app::ChooseStartupRoad(arguments);
        EXPECT_EQ(choice.road, app::StartupRoad::Launcher) << choice.CmdLineArchive;
        EXPECT_TRUE(choice.ExeDirArchive.empty());
    }
}

TEST_F(StartupRoad, AnUnquotedPathWithBlanksIsFoundAfterJoining)
{
    Touch(work.filePath("My Files/ARCHIVE.RAR"));
    const app::StartupChoice choice = app::ChooseStartupRoad({"My", "Files/ARCHIVE.RAR"});
    EXPECT_EQ(choice.road, app::StartupRoad::Extract);
    EXPECT_EQ(choice.CmdLineArchive, "My Files/ARCHIVE.RAR");
    EXPECT_EQ(choice.CmdLineExt, ".rar");
    EXPECT_TRUE(choice.ExeDirArchive.empty());
}

TEST_F(StartupRoad, AnAbsolutePathIsFound)
{
    Touch(work.filePath("a.rar"));
    EXPECT_EQ(app::ChooseStartupRoad({work.filePath("a.rar").toStdString()}).road, app::StartupRoad::Extract);
}

TEST_F(StartupRoad, ABareNameFoundOnlyInTheProgramFolderTakesTheArchiveRoad)
{
    Touch(program.filePath("only-here.rar"));
    const app::StartupChoice choice = app::ChooseStartupRoad({"only-here.rar"});
    EXPECT_EQ(choice.road, app::StartupRoad::Extract);
    EXPECT_EQ(choice.ExeDirArchive, program.filePath("only-here.rar").toStdString());
}

TEST_F(StartupRoad, AMissingArchiveReportsThePathAsComposed)
{
    const app::StartupChoice choice = app::ChooseStartupRoad({"My", "", "missing.rar"});
    EXPECT_EQ(choice.road, app::StartupRoad::FileNotFound);
    EXPECT_EQ(choice.CmdLineArchive, "My  missing.rar");
    EXPECT_EQ(choice.ExeDirArchive, program.filePath("My  missing.rar").toStdString());
}

TEST_F(StartupRoad, AFolderNamedLikeAnArchiveIsNotFound)
{
    ASSERT_TRUE(QDir(work.path()).mkdir("x.rar"));
    ASSERT_TRUE(QDir(program.path()).mkdir("x.rar"));
    EXPECT_EQ(app::ChooseStartupRoad({"x.rar"}).road, app::StartupRoad::FileNotFound);
}

TEST_F(StartupRoad, ThreeLettersRarAreAnArchiveNameOfTheirOwn)
{
    const app::StartupChoice missing = app::ChooseStartupRoad({"RAR"});
    EXPECT_EQ(missing.road, app::StartupRoad::FileNotFound);
    EXPECT_EQ(missing.CmdLineArchive, "RAR");
    Touch("RAR");
    EXPECT_EQ(app::ChooseStartupRoad({"RAR"}).road, app::StartupRoad::Extract);
}

}  // namespace
