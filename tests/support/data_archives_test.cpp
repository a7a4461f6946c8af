// The committed archives are a contract with every other test area: their
// entries, in order, and the result each one gives when extracted.

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "library_walk.h"
#include "test_support.h"

namespace {

// "name" for each entry read, "name=result" for one whose extraction failed.
std::vector<std::string> Outcomes(const Walk& w)
{
    std::vector<std::string> out;
    for (const WalkedEntry& e : w.entries)
        out.push_back(e.name + (e.processResult ? "=" + std::to_string(e.processResult) : ""));
    return out;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<std::string> TreeFolders = {"docs/deep/nested", "docs/deep", "docs", "bin", "empty"};
const std::vector<std::string> ThreeFiles = {"first.txt", "second.txt", "third.txt"};

struct ArchiveCase {
    const char* behaviour;
    const char* archive;
    const char* password;
    std::vector<std::string> entries;
    int lastRead;
    const char* sourceTree;  // compared with the extracted tree when the walk succeeds
};

class DataArchive : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(DataArchive, ExtractsAsDocumented)
{
    const ArchiveCase& c = GetParam();
    TempFolder tmp;
    const Walk w = WalkArchive(TestDataPath(c.archive), tmp.Path(), c.password);
    ASSERT_TRUE(w.opened);
    EXPECT_EQ(Outcomes(w), c.entries);
    EXPECT_EQ(w.lastRead, c.lastRead);
    if (c.sourceTree) {
        EXPECT_TRUE(TreesEqual(TestDataPath(c.sourceTree), tmp.Path(), {.ignoreEmptyFolders = true}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    TestData, DataArchive,
    ::testing::Values(
        ArchiveCase{"plain_tree", "plain.rar", nullptr, Concat(Concat(TreeFiles, {"bin/random.bin"}), TreeFolders),
                    ERAR_END_ARCHIVE, "source/tree"},
        ArchiveCase{"solid_tree", "solid.rar", nullptr, Concat(Concat(TreeFiles, {"bin/random.bin"}), TreeFolders),
                    ERAR_END_ARCHIVE, "source/tree"},
        ArchiveCase{"ten_files",
                    "ten.rar",
                    nullptr,
                    {"f01.txt", "f02.txt", "f03.txt", "f04.txt", "f05.txt", "f06.txt", "f07.txt", "f08.txt", "f09.txt",
                     "f10.txt"},
                    ERAR_END_ARCHIVE,
                    "source/ten"},
        ArchiveCase{"sizes_9_10_100",
                    "sizes.rar",
                    nullptr,
                    {"s9.txt", "s10.txt", "s100.txt"},
                    ERAR_END_ARCHIVE,
                    "source/sizes"},
        ArchiveCase{"comment_archive", "comment.rar", nullptr, ThreeFiles, ERAR_END_ARCHIVE, "source/comment"},
        ArchiveCase{"no_entries", "empty.rar", nullptr, {}, ERAR_END_ARCHIVE, nullptr},
        ArchiveCase{"volume_set_from_the_first_part",
                    "volumes_1.rar",
                    nullptr,
                    {"big.bin", "small.bin"},
                    ERAR_END_ARCHIVE,
                    "source/volumes"},
        ArchiveCase{"truncated_stops_with_bad_data", "truncated.rar", nullptr, Concat(TreeFiles, {"bin/random.bin=12"}),
                    ERAR_SUCCESS, nullptr},
        ArchiveCase{"damaged_stops_with_bad_data", "damaged.rar", nullptr, Concat(TreeFiles, {"bin/random.bin=12"}),
                    ERAR_SUCCESS, nullptr},
        ArchiveCase{"password_right", "password.rar", "secret", ThreeFiles, ERAR_END_ARCHIVE, "source/comment"},
        ArchiveCase{"password_missing", "password.rar", nullptr, {"first.txt=22"}, ERAR_SUCCESS, nullptr},
        ArchiveCase{"password_wrong", "password.rar", "wrong", {"first.txt=24"}, ERAR_SUCCESS, nullptr},
        ArchiveCase{"header_password_right", "headers_password.rar", "secret", ThreeFiles, ERAR_END_ARCHIVE,
                    "source/comment"},
        ArchiveCase{"header_password_missing", "headers_password.rar", nullptr, {}, ERAR_MISSING_PASSWORD, nullptr},
        ArchiveCase{"header_password_wrong", "headers_password.rar", "wrong", {}, ERAR_BAD_PASSWORD, nullptr},
        ArchiveCase{"rar4_windows_tree",
                    "rar4_windows.rar",
                    nullptr,
                    {"readme.txt", "Grüße.txt", "日本語.txt", "readonly.txt", "docs", "docs/notes.txt"},
                    ERAR_END_ARCHIVE,
                    "source/rar4_tree"},
        ArchiveCase{"rar4_unix_tree",
                    "rar4_unix.rar",
                    nullptr,
                    {"readme.txt", "Grüße.txt", "日本語.txt", "readonly.txt", "docs", "docs/notes.txt"},
                    ERAR_END_ARCHIVE,
                    "source/rar4_tree"},
        ArchiveCase{"rar4_old_style_volumes", "rar4_volumes.rar", nullptr, {"small.bin"}, ERAR_END_ARCHIVE, nullptr}),
    [](const auto& info) { return std::string(info.param.behaviour); });

// The library converts the comment through the C locale's character set:
// under plain "C" it ends at the first non-ASCII character.
TEST(TestData, CommentReadsAsTwoLinesOfUtf8)
{
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<char> buffer(65536);
    RAROpenArchiveData open{};
    const std::string path = TestDataPath("comment.rar");
    open.ArcName = const_cast<char*>(path.c_str());
    open.OpenMode = RAR_OM_LIST;
    open.CmtBuf = buffer.data();
    open.CmtBufSize = unsigned(buffer.size());
    HANDLE h = RAROpenArchive(&open);
    ASSERT_NE(h, nullptr);
    RARCloseArchive(h);
    EXPECT_EQ(open.CmtState, 1u);
    EXPECT_EQ(std::string(buffer.data()),
              "Brambold Testkommentar: Grüße aus dem Archiv.\nZweite Zeile des Kommentars.\n");
}

}  // namespace
