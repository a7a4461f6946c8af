#include "platform/text_file.h"
#include "test_support.h"

#include <fstream>
#include <sys/stat.h>

namespace {

struct FirstLineCase {
    const char* name;
    std::string content;
    std::string line;
};

class FirstLine : public ::testing::TestWithParam<FirstLineCase> {};

TEST_P(FirstLine, EndsAtTheFirstLineEndWithoutTheByteOrderMark)
{
    TempFolder folder;
    std::ofstream(folder.File("f.txt"), std::ios::binary) << GetParam().content;
    EXPECT_EQ(platform::ReadFirstLine(folder.File("f.txt")), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FirstLine,
    ::testing::Values(FirstLineCase{"lf", "/tmp/a\nsecond\n", "/tmp/a"},
                      FirstLineCase{"crlf", "/tmp/a\r\nsecond", "/tmp/a"},
                      FirstLineCase{"cr", "/tmp/a\rsecond", "/tmp/a"}, FirstLineCase{"no_line_end", "/tmp/a", "/tmp/a"},
                      FirstLineCase{"blanks_kept", "  /tmp/a b  \n", "  /tmp/a b  "},
                      FirstLineCase{"byte_order_mark", "\xEF\xBB\xBF/tmp/\xC3\xBC\n", "/tmp/\xC3\xBC"},
                      FirstLineCase{"empty_first_line", "\n/tmp/a", ""}, FirstLineCase{"empty_file", "", ""},
                      FirstLineCase{"longer_than_a_read", std::string(10000, 'x') + "\ny", std::string(10000, 'x')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileExists, AnythingButAFolderCounts)
{
    TempFolder folder;
    std::ofstream(folder.File("file.rar")) << "x";
    ASSERT_EQ(mkdir(folder.File("folder.rar").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(folder.File("pipe.txt").c_str(), 0644), 0);

    EXPECT_TRUE(platform::FileExists(folder.File("file.rar")));
    EXPECT_FALSE(platform::FileExists(folder.File("folder.rar")));
    EXPECT_TRUE(platform::FileExists(folder.File("pipe.txt")));
    EXPECT_FALSE(platform::FileExists(folder.File("missing")));
    EXPECT_FALSE(platform::FileExists(""));
    EXPECT_TRUE(platform::DirectoryExists(folder.File("folder.rar")));
    EXPECT_FALSE(platform::DirectoryExists(folder.File("file.rar")));
    EXPECT_EQ(platform::ReadFirstLine(folder.File("folder.rar")), std::nullopt);
}

TEST(ReadFirstLine, APipeIsAReadErrorNotAWaitForAWriter)
{
    TempFolder folder;
    ASSERT_EQ(mkfifo(folder.File("folder.txt").c_str(), 0644), 0);
    EXPECT_THROW(platform::ReadFirstLine(folder.File("folder.txt")), platform::FileReadError);
    EXPECT_THROW(platform::ReadWholeFile(folder.File("folder.txt")), platform::FileReadError);
}

TEST(ReadWholeFile, ReadsEveryByteAndNothingWhenThereIsNoFile)
{
    TempFolder folder;
    const std::string content = std::string(100000, 'x') + "\r\nend";
    std::ofstream(folder.File("help.dat"), std::ios::binary) << content;
    EXPECT_EQ(platform::ReadWholeFile(folder.File("help.dat")), content);
    EXPECT_EQ(platform::ReadWholeFile(folder.File("missing.dat")), std::nullopt);
}

}  // namespace
