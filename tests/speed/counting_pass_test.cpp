// The counting pass reads a solid archive without unpacking it: a solid
// archive with encrypted data then asks for its password only once.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "archive/VoskUnRar.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct CountCase {
    const char* name;
    const char* rarOptions;
    int passwordQuestions;
};

class CountingPass : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountingPass, CountsEveryEntryAndAsksForThePasswordAsOftenAsNeeded)
{
    TempFolder folder;
    for (const char* name : {"one.txt", "two.txt", "three.txt"})
        std::ofstream(folder.File(name)) << "Inhalt von " << name << "\n";
    const std::string archive = folder.File("a.rar");
    const std::string command = "cd '" + folder.Path() + "' && rar a -idq -ma5 " + GetParam().rarOptions +
                                " a.rar one.txt two.txt three.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    fs::create_directory(folder.File("out"));

    TVoskUnRar c;
    int questions = 0;
    c.OnPassword = [&](TVoskUnRar&, std::string& password) {
        ++questions;
        password = "secret";
    };
    uint32_t counted = 0;
    c.OnProgress = [&](TVoskUnRar&, uint32_t, uint32_t fileCount, uint32_t, uint64_t) { counted = fileCount; };
    c.CanProgress = true;
    c.FileName = archive;
    c.Directory = folder.File("out");
    c.ProcessArchive();

    EXPECT_EQ(counted, 3u);
    EXPECT_EQ(questions, GetParam().passwordQuestions);
    EXPECT_EQ(ReadFileBytes(folder.File("out/three.txt")), "Inhalt von three.txt\n");
}

INSTANTIATE_TEST_SUITE_P(Archives, CountingPass,
                         ::testing::Values(CountCase{"SolidIsListed", "-s -psecret", 1},
                                           // Not solid: skipping reads nothing, and the extracting
                                           // open stays as it always was; the password is asked
                                           // by the pass that extracts only.
                                           CountCase{"NonSolidIsOpenedForExtraction", "-psecret", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
