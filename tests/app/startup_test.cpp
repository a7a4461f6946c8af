#include "app/Startup.h"

#include "platform/program_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

struct JoinCase {
    const char* name;
    Arguments arguments;
    std::string joined;
};

void PrintTo(const JoinCase& row, std::ostream* out)
{
    *out << row.name;
}

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
        JoinCase{"control_characters_count_as_blanks",
                 {"\x01\x1f"
                  "a.rar\x7f"},
                 "a.rar\x7f"},
        JoinCase{"non_ascii_ends_are_not_trimmed", {"Müller", "日本語"}, "Müller 日本語"}),
    [](const auto& info) { return std::string(info.param.name); });

struct EndingCase {
    const char* name;
    std::string text;
    std::string ending;
    bool rar;
};

void PrintTo(const EndingCase& row, std::ostream* out)
{
    *out << row.name;
}

class ArchiveEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(ArchiveEnding, TakesTheLastFourCharactersInLowerCase)
{
    EXPECT_EQ(app::LastFourLower(GetParam().text), GetParam().ending);
    EXPECT_EQ(app::IsRarEnding(app::LastFourLower(GetParam().text)), GetParam().rar);
}

INSTANTIATE_TEST_SUITE_P(Rows, ArchiveEnding,
                         ::testing::Values(EndingCase{"dot_rar", "a.rar", ".rar", true},
                                           EndingCase{"capitals_are_lowered", "ARCHIVE.RAR", ".rar", true},
                                           EndingCase{"three_characters_rar_in_any_case", "RaR", "rar", true},
                                           EndingCase{"rar_without_dot_in_a_longer_name", "xrar", "xrar", false},
                                           EndingCase{"short_text_taken_whole", "ab", "ab", false},
                                           EndingCase{"only_ascii_letters_are_lowered", "Ä.RAR", ".rar", true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct RoadCase {
    const char* name;
    Arguments arguments;
    std::vector<const char*> files;  // "cwd/..." or "program/..."; a trailing '/' makes a folder
    app::StartupRoad road;
    std::string archive;
};

void PrintTo(const RoadCase& row, std::ostream* out)
{
    *out << row.name;
}

// Each test runs in a fresh current folder and program folder.
class FreshFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath("cwd");
        QDir(root.path()).mkpath("program");
        previous = QDir::currentPath();
        // Links on the way resolved, as the current folder reads.
        base = QDir(root.path()).canonicalPath().toStdString();
        QDir::setCurrent(QString::fromStdString(base + "/cwd"));
        platform::SetProgramFolder(base + "/program");
    }
    void TearDown() override
    {
        QDir::setCurrent(previous);
        platform::SetProgramFolder("");
    }

    QTemporaryDir root;
    QString previous;
    std::string base;
};

class StartupRoad : public FreshFolders, public ::testing::WithParamInterface<RoadCase> {};

using R = app::StartupRoad;

TEST_P(StartupRoad, PicksTheRoadFromTheCommandLine)
{
    for (const QString file : GetParam().files) {
        if (file.endsWith('/')) {
            ASSERT_TRUE(QDir(root.path()).mkpath(file));
        } else {
            QDir(root.path()).mkpath(QFileInfo(file).path());
            QFile touched(root.filePath(file));
            ASSERT_TRUE(touched.open(QIODevice::WriteOnly));
        }
    }
    const app::StartupChoice choice = app::ChooseStartupRoad(GetParam().arguments);
    EXPECT_EQ(choice.road, GetParam().road);
    if (choice.road != R::Shutdown && choice.road != R::Help && choice.road != R::Version) {
        EXPECT_EQ(choice.CmdLineArchive, GetParam().archive);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartupRoad,
    ::testing::Values(
        RoadCase{"shutdown_ends_the_copies", {"shutdown"}, {}, R::Shutdown, ""},
        RoadCase{"shutdown_ignores_further_arguments", {"shutdown", "a.rar"}, {"cwd/a.rar"}, R::Shutdown, ""},
        RoadCase{"shutdown_in_capitals_is_a_path", {"Shutdown"}, {}, R::Launcher, "Shutdown"},
        RoadCase{"shutdown_with_a_blank_is_a_path", {" shutdown"}, {}, R::Launcher, "shutdown"},
        RoadCase{"no_arguments_show_the_launcher", {}, {}, R::Launcher, ""},
        RoadCase{"another_ending_shows_the_launcher", {"a.zip"}, {"cwd/a.zip"}, R::Launcher, "a.zip"},
        RoadCase{"rar_without_dot_shows_the_launcher", {"datarar"}, {"cwd/datarar"}, R::Launcher, "datarar"},
        RoadCase{"an_unquoted_path_with_a_blank_is_joined_and_found",
                 {"My", "Files/ARCHIVE.RAR"},
                 {"cwd/My Files/ARCHIVE.RAR"},
                 R::Extract,
                 "My Files/ARCHIVE.RAR"},
        RoadCase{"a_bare_name_only_in_the_program_folder_is_found",
                 {"here.rar"},
                 {"program/here.rar"},
                 R::Extract,
                 "here.rar"},
        RoadCase{"a_missing_archive_reports_the_joined_path",
                 {"My", "", "missing.rar"},
                 {},
                 R::FileNotFound,
                 "My  missing.rar"},
        RoadCase{"a_folder_named_like_an_archive_is_not_found",
                 {"x.rar"},
                 {"cwd/x.rar/", "program/x.rar/"},
                 R::FileNotFound,
                 "x.rar"},
        RoadCase{"three_letters_rar_name_an_archive", {"RAR"}, {}, R::FileNotFound, "RAR"},
        RoadCase{"three_letters_rar_found_as_a_file", {"RAR"}, {"cwd/RAR"}, R::Extract, "RAR"},
        RoadCase{"help_alone_prints_the_usage", {"--help"}, {}, R::Help, ""},
        RoadCase{"h_alone_prints_the_usage", {"-h"}, {}, R::Help, ""},
        RoadCase{"version_alone_prints_the_version", {"--version"}, {}, R::Version, ""},
        RoadCase{"v_alone_prints_the_version", {"-v"}, {}, R::Version, ""},
        // Only the lone option: with more words it may be part of a path.
        RoadCase{"help_before_a_path_is_part_of_it",
                 {"--help", "me.rar"},
                 {"cwd/--help me.rar"},
                 R::Extract,
                 "--help me.rar"},
        RoadCase{"help_with_another_word_shows_the_launcher", {"-h", "x"}, {}, R::Launcher, "-h x"},
        RoadCase{"options_are_compared_byte_for_byte", {"--Help"}, {}, R::Launcher, "--Help"},
        RoadCase{"a_trimmed_option_is_a_path", {" -v"}, {}, R::Launcher, "-v"}),
    [](const auto& info) { return std::string(info.param.name); });

// What stands at a path before the start: a file with its first bytes, a
// folder, or a named pipe that nobody writes to.
struct Made {
    enum Kind { File, Folder, Pipe };
    const char* path;  // under the test's root: "cwd/..." or "program/..."; "{}" stands for the root
    Kind kind = File;
    std::string bytes = "not an archive";
};

const std::string Rar4Start("Rar!\x1A\x07\x00\xCF\x90\x73", 10);
const std::string Rar5Start("Rar!\x1A\x07\x01\x00\x33\x92", 10);

struct ArchiveCase {
    const char* name;
    std::string argument;  // "{}" stands for the test's root
    std::vector<Made> made;
    app::StartupRoad road;
    std::string archivePath;  // handed to the window; "{}" likewise
};

void PrintTo(const ArchiveCase& row, std::ostream* out)
{
    *out << row.name;
}

std::string Fill(std::string text, const std::string& root)
{
    if (const size_t at = text.find("{}"); at != std::string::npos)
        text.replace(at, 2, root);
    return text;
}

class HandedArchive : public FreshFolders, public ::testing::WithParamInterface<ArchiveCase> {};

TEST_P(HandedArchive, IsOneAbsolutePathDecidedAtTheStart)
{
    for (const Made& m : GetParam().made) {
        const std::string path = base + "/" + Fill(m.path, base);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(path)).path()));
        if (m.kind == Made::Folder) {
            ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
        } else if (m.kind == Made::Pipe) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else {
            std::ofstream(path, std::ios::binary) << m.bytes;
        }
    }
    const app::StartupChoice choice = app::ChooseStartupRoad({Fill(GetParam().argument, base)});
    EXPECT_EQ(choice.road, GetParam().road);
    EXPECT_EQ(choice.ArchivePath, Fill(GetParam().archivePath, base));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HandedArchive,
    ::testing::Values(
        ArchiveCase{"a_bare_name_in_the_current_folder", "x.rar", {{"cwd/x.rar"}}, R::Extract, "{}/cwd/x.rar"},
        ArchiveCase{"a_bare_name_in_the_program_folder", "x.rar", {{"program/x.rar"}}, R::Extract, "{}/program/x.rar"},
        ArchiveCase{"the_program_folder_wins_over_the_current_folder",
                    "x.rar",
                    {{"cwd/x.rar"}, {"program/x.rar"}},
                    R::Extract,
                    "{}/program/x.rar"},
        ArchiveCase{"a_folder_in_the_program_folder_does_not_hide_the_file",
                    "x.rar",
                    {{"cwd/x.rar"}, {"program/x.rar", Made::Folder}},
                    R::Extract,
                    "{}/cwd/x.rar"},
        ArchiveCase{"dot_parts_are_left_out",
                    "./sub/./x.rar",
                    {{"cwd/sub", Made::Folder}, {"cwd/sub/x.rar"}},
                    R::Extract,
                    "{}/cwd/sub/x.rar"},
        ArchiveCase{"an_absolute_path_is_never_looked_for_under_the_program_folder",
                    "{}/cwd/x.rar",
                    {{"cwd/x.rar"}, {"program{}/cwd/x.rar"}},
                    R::Extract,
                    "{}/cwd/x.rar"},
        ArchiveCase{
            "a_folder_named_like_an_archive_is_not_found", "x.rar", {{"cwd/x.rar", Made::Folder}}, R::FileNotFound, ""},
        ArchiveCase{"a_rar4_file_without_the_ending",
                    "download",
                    {{"cwd/download", Made::File, Rar4Start}},
                    R::Extract,
                    "{}/cwd/download"},
        ArchiveCase{"a_rar5_file_without_the_ending",
                    "download",
                    {{"cwd/download", Made::File, Rar5Start}},
                    R::Extract,
                    "{}/cwd/download"},
        ArchiveCase{"a_rar_file_without_the_ending_in_the_program_folder",
                    "download",
                    {{"program/download", Made::File, Rar5Start}},
                    R::Extract,
                    "{}/program/download"},
        ArchiveCase{
            "another_file_without_the_ending_shows_the_launcher", "notes.txt", {{"cwd/notes.txt"}}, R::Launcher, ""},
        ArchiveCase{"a_cut_signature_is_no_archive",
                    "download",
                    {{"cwd/download", Made::File, Rar5Start.substr(0, 7)}},
                    R::Launcher,
                    ""},
        ArchiveCase{"a_pipe_is_not_waited_on", "download", {{"cwd/download", Made::Pipe}}, R::Launcher, ""},
        ArchiveCase{"a_folder_without_the_ending_shows_the_launcher",
                    "download",
                    {{"cwd/download", Made::Folder}},
                    R::Launcher,
                    ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
