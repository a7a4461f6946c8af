#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

struct TreeCase {
    const char* behaviour;
    std::function<void(const std::string& actual)> change;
    std::string expectedReport;  // empty: the trees match
    bool ignoreEmptyFolders = false;
};

class CompareTreesReports : public ::testing::TestWithParam<TreeCase> {};

TEST_P(CompareTreesReports, TheDifference)
{
    const TreeCase& c = GetParam();
    TempFolder tmp;
    const std::string a = tmp.File("a"), b = tmp.File("b");
    for (const std::string& root : {a, b}) {
        Write(root + "/top.txt", "top\n");
        Write(root + "/sub/deep.bin", std::string("\0\1\2\3", 4));
    }
    c.change(b);
    EXPECT_EQ(CompareTrees(a, b, {c.ignoreEmptyFolders}), c.expectedReport);
}

INSTANTIATE_TEST_SUITE_P(
    TestSupport, CompareTreesReports,
    ::testing::Values(
        TreeCase{"identical_trees_match", [](const std::string&) {}, ""},
        TreeCase{"missing_file", [](const std::string& b) { fs::remove(b + "/top.txt"); }, "missing file: top.txt\n"},
        TreeCase{"extra_file", [](const std::string& b) { Write(b + "/sub/new", "n"); }, "unexpected file: sub/new\n"},
        TreeCase{"changed_byte_reports_its_offset",
                 [](const std::string& b) { Write(b + "/sub/deep.bin", std::string("\0\1\7\3", 4)); },
                 "sub/deep.bin: content differs at byte 2 (sizes 4 and 4)\n"},
        TreeCase{"shorter_file", [](const std::string& b) { Write(b + "/top.txt", "to"); },
                 "top.txt: content differs at byte 2 (sizes 4 and 2)\n"},
        TreeCase{"folder_where_a_file_was",
                 [](const std::string& b) {
                     fs::remove(b + "/top.txt");
                     fs::create_directory(b + "/top.txt");
                 },
                 "top.txt: expected a file, found a folder\n"},
        TreeCase{"extra_empty_folder_counts", [](const std::string& b) { fs::create_directory(b + "/empty"); },
                 "unexpected folder: empty\n"},
        TreeCase{"extra_empty_folder_ignored_on_request",
                 [](const std::string& b) { fs::create_directory(b + "/empty"); }, "", true}),
    [](const auto& info) { return std::string(info.param.behaviour); });

TEST(TestSupport, TempFolderRemovesReadOnlyContents)
{
    std::string path;
    {
        TempFolder tmp;
        path = tmp.Path();
        Write(tmp.File("locked/file.txt"), "x");
        fs::permissions(tmp.File("locked/file.txt"), fs::perms::owner_read);
        fs::permissions(tmp.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(TestSupport, TestDataPathFindsTheCommittedArchives)
{
    EXPECT_TRUE(fs::is_regular_file(TestDataPath("plain.rar")));
    EXPECT_EQ(ReadFileBytes(TestDataPath("source/sizes/s10.txt")), "0123456789");
    EXPECT_THROW(ReadFileBytes(TestDataPath("no such file")), std::runtime_error);
}

}  // namespace
