// Links and modes from the archive: nothing leads out of the destination,
// nothing comes out set-user-ID or set-group-ID.
#include "engine_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/writer/LinkJudge.h"

namespace {

struct Link {
    std::string name;
    unsigned type;
    std::string target;
    bool allowed;
};

struct JudgeCase {
    const char* name;
    std::vector<Link> links;  // judged in this order; an allowed one is then made on the disk
};

constexpr unsigned Sym = TLinkJudge::UnixSymlink;
constexpr unsigned Win = TLinkJudge::WindowsSymlink;

const JudgeCase JudgeCases[] = {
    {"InsideTargets", {{"a", Sym, "b/c", true}, {"d/e", Sym, "../f", true}, {"d/g", Sym, "./x/../y", true}}},
    {"AbsoluteTargets",
     {{"a", Sym, "/etc/passwd", false},
      {"b", Win, "\\??\\C:\\Windows", false},
      {"c", Win, "C:x", false},
      {"d", Win, "\\\\server\\share", false},
      {"e", Sym, "", false}}},
    {"ClimbingOut", {{"a", Sym, "..", false}, {"d/a", Sym, "../..", false}, {"d/b", Sym, "x/../../..", false}}},
    {"ChainThroughAnEarlierLink", {{"d/l1", Sym, "..", true}, {"l2", Sym, "d/l1/..", false}}},
    // A Unix link's backslash is a letter of a name; a Windows link's is a separator.
    {"DoubledSlashesAndBackslashes",
     {{"d/a", Sym, "..//..", false},
      {"d/b", Sym, "..\\..\\x", true},
      {"d/c", Win, "..\\..\\x", false},
      {"d/e", Win, "..\\x", true}}},
    {"LaterLinkUnderAnEarlierClimb", {{"l1", Sym, "s/..", true}, {"s", Sym, ".", false}, {"t", Sym, "d", true}}},
    {"LaterLinkWhereAnEarlierOneWasFollowed",
     {{"x", Sym, "d/e", true}, {"l", Sym, "x/..", true}, {"x", Sym, ".", false}}},
    {"Loop", {{"a", Sym, "b", true}, {"b", Sym, "a", false}, {"c", Sym, "a/x", true}, {"s", Sym, "s/..", false}}},
};

class LinkJudgeTest : public EngineTest, public ::testing::WithParamInterface<JudgeCase> {};

TEST_P(LinkJudgeTest, JudgesByWhatStandsOnTheDisk)
{
    const fs::path out = Out();
    fs::create_directories(out / "d/e");
    const int root = open(out.c_str(), O_PATH | O_DIRECTORY);
    ASSERT_GE(root, 0);
    TLinkJudge judge;
    for (const auto& link : GetParam().links) {
        const std::string target = LinkTargetHere(link.target, link.type);
        const bool allowed = judge.Allow(root, link.name, target);
        EXPECT_EQ(allowed, link.allowed) << link.name << " -> " << link.target;
        if (allowed) {
            fs::remove(out / link.name);
            fs::create_symlink(target, out / link.name);
        }
    }
    close(root);
}

INSTANTIATE_TEST_SUITE_P(Links, LinkJudgeTest, ::testing::ValuesIn(JudgeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LinkJudge, AUserLinkOnTheWayIsFollowedToWhereItLeads)
{
    const fs::path base = fs::temp_directory_path() / ("brambold-judge-" + std::to_string(getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "dest/inner");
    fs::create_directories(base / "outside");
    fs::create_symlink("../outside", base / "dest/docs");
    fs::create_symlink("inner", base / "dest/here");
    const int root = open((base / "dest").c_str(), O_PATH | O_DIRECTORY);
    TLinkJudge judge;
    EXPECT_FALSE(judge.Allow(root, "l", "docs/victim.txt"));
    EXPECT_TRUE(judge.Allow(root, "m", "here/../here/file"));
    close(root);
    fs::remove_all(base);
}

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
        // "back" points at a name of backslashes beside it: on this system that
        // is one name, inside the destination.
        EXPECT_EQ(errors, (std::vector<std::string>{Skipped("l2"), Skipped("up"), Skipped("abs"), Skipped("slashes")}));
        const fs::path out = Out();
        EXPECT_EQ(ReadAll(out / "inside.txt"), "inside\n");
        EXPECT_EQ(fs::read_symlink(out / "d/l1"), "..");
        EXPECT_EQ(fs::read_symlink(out / "back"), "..\\..\\win");
        EXPECT_EQ(fs::read_symlink(out / "ok"), "d/../inside.txt");
        for (const char* name : {"l2", "up", "abs", "slashes"})
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

// A hard link to a name that no entry before it made is no attack on the
// destination: the log says what it is.
TEST_F(EngineTest, AHardLinkToAFileNotThereYetSaysSo)
{
    const std::string archive = (root / "later.rar").string();
    const std::string command = "python3 '" + DataDir() + "/datatool.py' retarget '" + DataDir() + "/hardlink.rar' '" +
                                archive + "' a.txt b.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    c.FileName = archive;
    c.Directory = Out();
    c.ProcessArchive();
    EXPECT_EQ(events.errors,
              std::vector<std::string>{"Brambold: Link to a file that is not there yet, skipped: hard.txt 0"});
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "hard.txt"));
    EXPECT_EQ(ReadAll(fs::path(Out()) / "a.txt"), "same\n");
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
