// Links and modes from the archive: nothing leads out of the destination,
// nothing comes out set-user-ID or set-group-ID.
#include "engine_support.h"

#include <sys/stat.h>

#include "archive/LinkJudge.h"

namespace {

struct Link {
    std::string name;
    unsigned type;
    std::string target;
    bool allowed;
};

struct JudgeCase {
    const char* name;
    std::vector<std::string> files;  // plain entries met before the links
    std::vector<Link> links;         // judged in this order
};

constexpr unsigned Sym = TLinkJudge::UnixSymlink;
constexpr unsigned Win = TLinkJudge::WindowsSymlink;
constexpr unsigned Hard = TLinkJudge::HardLink;
constexpr unsigned Copy = TLinkJudge::FileCopy;

const JudgeCase JudgeCases[] = {
    {"InsideTargets", {}, {{"a", Sym, "b/c", true}, {"d/e", Sym, "../f", true}, {"d/g", Sym, "./x/../y", true}}},
    {"AbsoluteTargets",
     {},
     {{"a", Sym, "/etc/passwd", false}, {"b", Win, "\\??\\C:\\Windows", false}, {"c", Win, "C:x", false},
      {"d", Win, "\\\\server\\share", false}, {"e", Sym, "", false}}},
    {"ClimbingOut", {}, {{"a", Sym, "..", false}, {"d/a", Sym, "../..", false}, {"d/b", Sym, "x/../../..", false}}},
    {"ChainThroughAnEarlierLink", {}, {{"d/l1", Sym, "..", true}, {"l2", Sym, "d/l1/..", false}}},
    {"LinkedFolderAboveTheLink", {}, {{"d/l1", Sym, "..", true}, {"d/l1/l3", Sym, "..", false}}},
    {"DoubledSlashesAndBackslashes",
     {},
     {{"d/a", Sym, "..//..", false}, {"d/b", Sym, "..\\..\\x", false}, {"d/c", Sym, "..\\x", true}}},
    {"LaterLinkUnderAnEarlierClimb",
     {},
     {{"l1", Sym, "s/..", true}, {"s", Sym, ".", false}, {"t", Sym, "d", true}}},
    {"Loop", {}, {{"a", Sym, "b", true}, {"b", Sym, "a", true}, {"c", Sym, "a/x", false}}},
    {"HardLinksAndCopies",
     {"a.txt", "d/b.txt"},
     {{"h1", Hard, "a.txt", true}, {"h2", Hard, "d\\b.txt", true}, {"h3", Hard, "../s1", false},
      {"h4", Hard, "/etc/passwd", false}, {"h5", Hard, "missing.txt", false}, {"c1", Copy, "./a.txt", true},
      {"c2", Copy, "d/../a.txt", false}, {"c3", Copy, "../s2", false}}},
};

class LinkJudgeTest : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(LinkJudgeTest, Judges)
{
    TLinkJudge judge;
    for (const auto& file : GetParam().files)
        judge.AddFile(file);
    for (const auto& link : GetParam().links)
        EXPECT_EQ(judge.Allow(link.name, link.type, link.target), link.allowed) << link.name << " -> " << link.target;
}

INSTANTIATE_TEST_SUITE_P(Links, LinkJudgeTest, ::testing::ValuesIn(JudgeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs the engine over `archive` into Out() and gives the errors.
std::vector<std::string> Extract(const std::string& archive, const std::string& out,
                                 TOverrideOptions policy = TOverrideOptions::OR_EVENT)
{
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.CanProgress = true;
    c.OverrideEvent = policy;
    c.FileName = DataDir() + "/" + archive;
    c.Directory = out;
    c.ProcessArchive();
    return events.errors;
}

std::string Skipped(const std::string& name)
{
    return "Brambold: Link leads out of the destination, skipped: " + name + " 0";
}

TEST_F(EngineTest, LinksLeadingOutAreSkippedAndReportedUnderEveryPolicy)
{
    for (TOverrideOptions policy : {TOverrideOptions::OR_EVENT, TOverrideOptions::OR_ALWAYS}) {
        fs::remove_all(Out());
        fs::create_directories(Out());
        const auto errors = Extract("links.rar", Out(), policy);
        EXPECT_EQ(errors, (std::vector<std::string>{Skipped("l2"), Skipped("up"), Skipped("abs"),
                                                    Skipped("slashes"), Skipped("back")}));
        const fs::path out = Out();
        EXPECT_EQ(ReadAll(out / "inside.txt"), "inside\n");
        EXPECT_EQ(fs::read_symlink(out / "d/l1"), "..");
        for (const char* name : {"l2", "up", "abs", "slashes", "back"})
            EXPECT_FALSE(fs::exists(fs::symlink_status(out / name))) << name;
        // Nothing beside the destination.
        EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
    }
}

TEST_F(EngineTest, HardLinksAndCopiesReachOnlyTheArchivesOwnFiles)
{
    WriteAll(root / "s1", "secret one");
    WriteAll(root / "s2", "secret two");
    EXPECT_TRUE(Extract("hardlink.rar", Out()).empty());
    EXPECT_EQ(ReadAll(fs::path(Out()) / "hard.txt"), "same\n");
    EXPECT_TRUE(Extract("filecopy.rar", Out(), TOverrideOptions::OR_ALWAYS).empty());
    EXPECT_EQ(ReadAll(fs::path(Out()) / "copy.txt"), "same\n");

    fs::remove_all(Out());
    fs::create_directories(Out());
    EXPECT_EQ(Extract("hardlink_outside.rar", Out()), std::vector<std::string>{Skipped("hard.txt")});
    EXPECT_EQ(Extract("filecopy_outside.rar", Out(), TOverrideOptions::OR_ALWAYS),
              std::vector<std::string>{Skipped("copy.txt")});
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "hard.txt"));
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "copy.txt"));
    EXPECT_EQ(ReadAll(root / "s1"), "secret one");
    EXPECT_EQ(ReadAll(root / "s2"), "secret two");
    struct stat st {};
    ASSERT_EQ(stat((root / "s1").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
}

TEST_F(EngineTest, SetIdBitsAreDropped)
{
    EXPECT_TRUE(Extract("setid.rar", Out()).empty());
    for (const char* name : {"m4755", "m2755", "m6755"}) {
        struct stat st {};
        ASSERT_EQ(stat((fs::path(Out()) / name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, 0755u) << name;
    }
}

}  // namespace
