// Existence answers from one read per folder must stay what a stat would say,
// whatever happens to the folders between two questions.
#include <filesystem>
#include <fstream>
#include <chrono>
#include <functional>
#include <thread>
#include <unistd.h>

#include "archive/writer/ExistingFiles.h"
#include "archive/VoskUnRar.h"
#include "platform/text_file.h"
#include "rar4_writer.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& path)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

struct ChangeCase {
    const char* name;
    std::function<void(const fs::path& root)> before;  // the state when first asked
    std::function<void(const fs::path& root)> change;  // what happens before the second question
};

class ExistingFilesChange : public ::testing::TestWithParam<ChangeCase> {};

// Every path of the tree is asked about before and after the change, and
// each answer must equal a stat's.
TEST_P(ExistingFilesChange, AnswersAsAStatWouldBeforeAndAfter)
{
    TempFolder folder;
    const fs::path root = folder.Path();
    GetParam().before(root);
    const std::vector<std::string> asked = {"a.txt",     "b.txt",     "sub/c.txt", "sub/d.txt", "sub",
                                            "new/e.txt", "new/f.txt", "link",      "dirlink"};
    TExistingFiles existing;
    for (int round = 0; round < 2; ++round) {
        for (const std::string& name : asked) {
            const std::string path = (root / name).string();
            EXPECT_EQ(existing.FileExists(path), platform::FileExists(path)) << name << " round " << round;
        }
        if (round == 0) {
            GetParam().change(root);
            // Other programs' changes are read at most every 16 ms.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

void Tree(const fs::path& root)
{
    Touch(root / "a.txt");
    Touch(root / "sub/c.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ExistingFilesChange,
    ::testing::Values(ChangeCase{"FileAppearsInAReadFolder", Tree, [](const fs::path& r) { Touch(r / "b.txt"); }},
                      ChangeCase{"FileLeavesAReadFolder", Tree, [](const fs::path& r) { fs::remove(r / "sub/c.txt"); }},
                      ChangeCase{"FolderIsCreatedAndFilled", Tree,
                                 [](const fs::path& r) {
                                     Touch(r / "new/e.txt");
                                     Touch(r / "new/f.txt");
                                 }},
                      ChangeCase{"FileIsReplacedByAFolder", Tree,
                                 [](const fs::path& r) {
                                     fs::remove(r / "a.txt");
                                     fs::create_directory(r / "a.txt");
                                 }},
                      ChangeCase{"FileIsRenamedIntoPlace", Tree,
                                 [](const fs::path& r) { fs::rename(r / "a.txt", r / "sub/d.txt"); }},
                      ChangeCase{"FolderIsReplacedWithAnotherOne", Tree,
                                 [](const fs::path& r) {
                                     fs::rename(r / "sub", r / "old");
                                     Touch(r / "sub/d.txt");
                                 }},
                      ChangeCase{"LinksToAFileCountToAFolderDoNot", Tree,
                                 [](const fs::path& r) {
                                     fs::create_symlink(r / "a.txt", r / "link");
                                     fs::create_directory_symlink(r / "sub", r / "dirlink");
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExistingFiles, AFolderMissingAtFirstIsReadOnceItExists)
{
    TempFolder folder;
    const std::string inNew = folder.File("new/x.txt");
    TExistingFiles existing;
    EXPECT_FALSE(existing.FileExists(inNew));
    Touch(inNew);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(existing.FileExists(inNew));
    EXPECT_FALSE(existing.FileExists(folder.File("new/y.txt")));
}

TEST(ExistingFiles, ResetForgetsAFolderWhoseWatchWasLost)
{
    TempFolder folder;
    Touch(folder.File("x.txt"));
    TExistingFiles existing;
    EXPECT_TRUE(existing.FileExists(folder.File("x.txt")));
    existing.Reset();
    fs::remove(folder.File("x.txt"));
    EXPECT_FALSE(existing.FileExists(folder.File("x.txt")));
}

TEST(ExistingFiles, ARelativePathIsAnsweredInTheCurrentFolder)
{
    TempFolder folder;
    struct InFolder {
        explicit InFolder(const std::string& path) { fs::current_path(path); }
        ~InFolder() { fs::current_path(before); }
        fs::path before = fs::current_path();
    } in(folder.Path());
    TExistingFiles existing;
    EXPECT_FALSE(existing.FileExists("here.txt"));
    Touch("here.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(existing.FileExists("here.txt"));
}

// Extracts `archive` into `out`, answering every question with `yes`; `onHeader`
// sees each header as it is told. Returns the paths asked about.
std::vector<std::string> ExtractAsking(const std::string& archive, const std::string& out, bool yes,
                                       const std::function<void(const TVoskRARHeaderData&)>& onHeader = {})
{
    TVoskUnRar c;
    std::vector<std::string> asked;
    if (onHeader)
        c.OnFileProcessing = [&](TVoskUnRar&, const TVoskRARHeaderData& header, int32_t) { onHeader(header); };
    c.OnOverride = [&](TVoskUnRar&, const std::string& target, bool& canOverride) {
        asked.push_back(target);
        canOverride = yes;
    };
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    c.FileName = archive;
    c.Directory = out;
    c.ProcessArchive();
    return asked;
}

// The run's own files are known at once: a second entry of the same name,
// right after the first, is asked about.
TEST(ExistingFiles, AnEntryTheRunWroteIsFoundByTheNextOfTheSameName)
{
    TempFolder folder;
    rar4::Entry first;
    first.name = "dup.txt";
    first.data = "first";
    rar4::Entry second = first;
    second.data = "second";
    rar4::Entry other;
    other.name = "other.txt";
    other.data = "x";
    rar4::WriteFile(folder.File("dup.rar"), rar4::WriteArchive({other, first, second}));
    fs::create_directory(folder.File("out"));
    Touch(folder.File("out/other.txt"));

    const auto asked = ExtractAsking(folder.File("dup.rar"), folder.File("out"), false);
    EXPECT_EQ(asked, (std::vector<std::string>{folder.File("out/other.txt"), folder.File("out/dup.txt")}));
    EXPECT_EQ(ReadFileBytes(folder.File("out/dup.txt")), "first");
}

// A folder the run made, for its first file or for its own entry, is not
// watched: a file another program puts there meanwhile is found when the
// entry's file would take its name, and asked about then. Nothing of theirs
// goes without a Yes.
TEST(ExistingFiles, AFileAnotherProgramPutsInAFolderTheRunMadeIsAskedAbout)
{
    for (const bool folderFirst : {false, true})
        for (const bool yes : {false, true}) {
            TempFolder folder;
            std::vector<rar4::Entry> entries(3);
            const char* const names[] = {"new/a.txt", "new/b.txt", "new/c.txt"};
            for (size_t i = 0; i < entries.size(); ++i) {
                entries[i].name = names[i];
                entries[i].data = "ours";
            }
            if (folderFirst) {
                rar4::Entry made;
                made.name = "new";
                made.directory = true;
                made.attributes = 0x10;
                entries.insert(entries.begin(), made);
            }
            rar4::WriteFile(folder.File("made.rar"), rar4::WriteArchive(entries));
            fs::create_directory(folder.File("out"));

            const auto asked = ExtractAsking(folder.File("made.rar"), folder.File("out"), yes,
                                             [&](const TVoskRARHeaderData& header) {
                                                 if (header.FileName == "new/b.txt")
                                                     std::ofstream(folder.File("out/new/b.txt")) << "theirs";
                                             });
            EXPECT_EQ(asked, std::vector<std::string>{folder.File("out/new/b.txt")}) << folderFirst << yes;
            EXPECT_EQ(ReadFileBytes(folder.File("out/new/b.txt")), yes ? "ours" : "theirs");
            EXPECT_EQ(ReadFileBytes(folder.File("out/new/c.txt")), "ours");
        }
}

}  // namespace
