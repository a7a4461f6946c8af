// What no real archive produces, on the scripted fake library.
#include "engine_support.h"

#include <algorithm>
#include <cstring>

namespace {

std::string Line(const std::vector<std::string>& calls, const std::string& prefix)
{
    for (const auto& l : calls)
        if (l.rfind(prefix, 0) == 0)
            return l;
    return "";
}

size_t CountCalls(const std::vector<std::string>& calls, const std::string& prefix)
{
    return static_cast<size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

}  // namespace

struct TResultCase {
    const char* name;
    const char* script;
    std::vector<std::string> errors;
    size_t reads;  // header reads the run made
};

void PrintTo(const TResultCase& c, std::ostream* os)
{
    *os << c.name;
}

class FakeResultTest : public FakeEngineTest, public ::testing::WithParamInterface<TResultCase> {};

TEST_P(FakeResultTest, IsReportedWithItsText)
{
    script(GetParam().script);
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.FileName = "/x/a.rar";
    c.Directory = Out();
    c.ProcessArchive();
    EXPECT_EQ(events.errors, GetParam().errors);
    EXPECT_EQ(CountCalls(Calls(), "read"), GetParam().reads);
    EXPECT_EQ(events.lines.back(), "status 2");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fake, FakeResultTest,
    ::testing::Values(
        TResultCase{"CommentOutOfMemory", "comment 11\nheader 0 name=a", {"Brambold: No memory! 11"}, 2},
        TResultCase{"CommentBufferTooSmall", "comment 20\nheader 0 name=a", {"Brambold: Buffer to small! 20"}, 2},
        TResultCase{"OtherCommentStatesAreIgnored", "comment 13\nheader 0 name=a", {}, 2},
        TResultCase{"CorruptHeaderIsReportedAndTheNextOneRead", "header 12\nheader 0 name=a",
                    {"Brambold: File Header corrupted! 12"}, 3},
        TResultCase{"ProcessBadData", "header 0 name=a\nprocess 12\nheader 0 name=b", {"Brambold: Corrupted data! 12"}, 1},
        TResultCase{"ProcessBadArchive", "header 0 name=a\nprocess 13", {"Brambold: Corrupted archive! 13"}, 1},
        TResultCase{"ProcessWrite", "header 0 name=a\nprocess 19", {"Brambold: Write error! 19"}, 1},
        TResultCase{"ProcessMissingPassword", "header 0 name=a\nprocess 22", {"Brambold: Password missing! 22"}, 1},
        TResultCase{"ProcessBadPassword", "header 0 name=a\nprocess 24", {"Brambold: Wrong password! 24"}, 1},
        TResultCase{"ProcessCodeWithoutTextIsStillAnError", "header 0 name=a\nprocess 99", {"Brambold: Unknown error! 99"}, 1},
        TResultCase{"CloseError", "close 17", {"Brambold: Error on close! 17"}, 1},
        TResultCase{"HeaderFailureOnceGoesOn", "header 22\nheader 0 name=a", {}, 3},
        TResultCase{"HeaderFailureThatRepeatsEndsTheRunReportedOnce", "failforever 22",
                    {"Brambold: Password missing! 22"}, 2},
        TResultCase{"CorruptHeaderThatRepeatsEndsTheRun", "failforever 12", {"Brambold: File Header corrupted! 12"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

struct TOpenCase {
    const char* name;
    const char* script;
    int id;
};

void PrintTo(const TOpenCase& c, std::ostream* os)
{
    *os << c.name;
}

class FakeOpenTest : public FakeEngineTest, public ::testing::WithParamInterface<TOpenCase> {};

TEST_P(FakeOpenTest, FailedOpenTouchesNoHandle)
{
    script(GetParam().script);
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    EXPECT_EQ(events.lines, (std::vector<std::string>{"status 1", "status 0",
                                                      "error Brambold: Cannot open archive! " +
                                                          std::to_string(GetParam().id),
                                                      "status 2"}));
    // clang-format on
    EXPECT_EQ(Calls(), std::vector<std::string>{"open /x/a.rar mode=1 cmtsize=0"});
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Fake, FakeOpenTest,
                         ::testing::Values(TOpenCase{"NullHandle", "open null", 0},
                                           TOpenCase{"NullHandleWithResult", "open null\nopen 15", 15},
                                           TOpenCase{"HandleWithFailedResult", "open 13", 13}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- selection and overwrite decisions ----------------------------------

struct TDecisionCase {
    const char* name;
    TOverrideOptions policy;
    TVoskRarMode mode;
    enum { None, Yes, No } handler;
    const char* existing;   // "file", "folder" or ""
    bool folderEntry;
    std::vector<const char*> fileList;
    int operation;          // what the library is told
    bool asked;
};

void PrintTo(const TDecisionCase& c, std::ostream* os)
{
    *os << c.name;
}

class FakeDecisionTest : public FakeEngineTest, public ::testing::WithParamInterface<TDecisionCase> {};

TEST_P(FakeDecisionTest, Operation)
{
    const TDecisionCase& p = GetParam();
    const fs::path target = fs::path(Out()) / "Entry";
    if (std::string(p.existing) == "file")
        WriteAll(target, "x");
    else if (std::string(p.existing) == "folder")
        fs::create_directories(target);
    script(p.folderEntry ? "header 0 name=./Entry flags=0x20" : "header 0 name=./Entry");

    TVoskUnRar c;
    c.OverrideEvent = p.policy;
    c.SetMode(p.mode);
    c.Directory = Out();
    c.FileName = "/x/a.rar";
    for (const char* line : p.fileList)
        c.FileList.Add(Out() + line);
    std::vector<std::string> asked;
    if (p.handler != TDecisionCase::None)
        c.OnOverride = [&](TVoskUnRar&, const std::string& path, bool& can) {
            asked.push_back(path);
            can = p.handler == TDecisionCase::Yes;
        };
    c.ProcessArchive();

    // The library only tests what is extracted: the engine writes the data.
    EXPECT_EQ(Line(Calls(), "process"),
              "process " + std::to_string(p.operation == RAR_EXTRACT ? RAR_TEST : p.operation) + " " + Out());
    // clang-format on
    EXPECT_EQ(asked, p.asked ? std::vector<std::string>{target.string()} : std::vector<std::string>{});
    if (p.folderEntry && p.mode == TVoskRarMode::VOSKRAR_EXTRACT) {
        EXPECT_EQ(fs::is_directory(target), p.handler == TDecisionCase::Yes || std::string(p.existing) != "file");
    }
    EXPECT_EQ(TemporaryNames(Out()), 0u);
}

using D = TDecisionCase;
constexpr auto Ex = TVoskRarMode::VOSKRAR_EXTRACT;
constexpr auto Li = TVoskRarMode::VOSKRAR_LIST;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fake, FakeDecisionTest,
    ::testing::Values(
        D{"AlwaysOverwritesAnExistingFile", TOverrideOptions::OR_ALWAYS, Ex, D::No, "file", false, {}, 2, false},
        D{"AlwaysIgnoresTheFileList", TOverrideOptions::OR_ALWAYS, Ex, D::None, "", false, {"/other"}, 2, false},
        D{"NeverSkipsAnExistingFile", TOverrideOptions::OR_NEVER, Ex, D::Yes, "file", false, {}, 0, false},
        D{"NeverExtractsANewFile", TOverrideOptions::OR_NEVER, Ex, D::None, "", false, {}, 2, false},
        D{"EventWithoutHandlerSkipsAnExistingFile", TOverrideOptions::OR_EVENT, Ex, D::None, "file", false, {}, 0, false},
        D{"EventHandlerYesOverwrites", TOverrideOptions::OR_EVENT, Ex, D::Yes, "file", false, {}, 2, true},
        D{"EventHandlerNoSkips", TOverrideOptions::OR_EVENT, Ex, D::No, "file", false, {}, 0, true},
        D{"FolderAtTheTargetIsNoExistingFile", TOverrideOptions::OR_EVENT, Ex, D::No, "folder", false, {}, 2, false},
        // Folders are made by the engine itself; the library only moves past them.
        D{"FolderEntryOverAFileAsksAndNoKeepsTheFile", TOverrideOptions::OR_EVENT, Ex, D::No, "file", true, {}, 0, true},
        D{"FolderEntryOverAFileAsksAndYesReplacesIt", TOverrideOptions::OR_EVENT, Ex, D::Yes, "file", true, {}, 0, true},
        D{"FolderEntryOverAFolderIsNotAsked", TOverrideOptions::OR_EVENT, Ex, D::No, "folder", true, {}, 0, false},
        D{"ListModeTestsWithoutAsking", TOverrideOptions::OR_EVENT, Li, D::No, "file", false, {}, 1, false},
        D{"ListModeSkipsWhatTheFileListLacks", TOverrideOptions::OR_NEVER, Li, D::None, "", false, {"/other"}, 0, false},
        D{"FileListLineInOtherCaseSelects", TOverrideOptions::OR_NEVER, Ex, D::None, "", false, {"/other", "/ENTRY"}, 2, false},
        D{"FileListWithoutTheEntrySkipsIt", TOverrideOptions::OR_EVENT, Ex, D::Yes, "file", false, {"/other"}, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- callback answers ----------------------------------------------------

TEST_F(FakeEngineTest, LongPasswordIsCutToTheBufferWithoutSplittingACharacter)
{
    script("pwbuffer 128\nheader 0 name=a\ncall password");
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    std::string given = std::string(200, 'p');
    c.OnPassword = [&](TVoskUnRar&, std::string& pw) { pw = given; };
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    EXPECT_EQ(Line(Calls(), "passwordW"), "passwordW -> 0 untouched");
    EXPECT_EQ(Line(Calls(), "password "), "password -> 0 '" + std::string(127, 'p') + "' len=127");
    EXPECT_EQ(events.lines[3], "status 3 Brambold: Used Password is: " + std::string(127, 'p'));
    // clang-format on
    EXPECT_EQ(c.Password, "");

    // 'ü' is two bytes: 63 of them fill 126 bytes, the 64th would not fit.
    std::string umlauts;
    for (int i = 0; i < 100; ++i)
        umlauts += "ü";
    given = umlauts;
    script("pwbuffer 128\nheader 0 name=a\ncall password");
    c.ProcessArchive();
    EXPECT_EQ(Line(Calls(), "password "), "password -> 0 '" + umlauts.substr(0, 126) + "' len=126");
}

TEST_F(FakeEngineTest, KeepAliveIsPacedForQuickChunksAndComesAtEachSparseOne)
{
    std::string quick = "header 0 name=a";
    for (int i = 0; i < 50; ++i)
        quick += "\ncall data";
    script(quick.c_str());
    TVoskUnRar c;
    int calls = 0;
    c.KeepAlive = [&] { ++calls; };
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    // Fifty quick chunks: one keep-alive, a few more only where a busy
    // machine held the run between two of them.
    EXPECT_GE(calls, 1);
    EXPECT_LT(calls, 10);
    EXPECT_EQ(CountCalls(Calls(), "data -> 0"), 50u);

    // Chunks of a large entry, each after 12 ms of unpacking: every one lets
    // the window in. Paced by the interval alone, only the first and the
    // third would, and the window would wait twice as long.
    script("header 0 name=a\ncall data\ncall wait 12\ncall data\ncall wait 12\ncall data\ncall wait 12\ncall data");
    calls = 0;
    c.ProcessArchive();
    EXPECT_EQ(calls, 4);
}

TEST_F(FakeEngineTest, StopRequestMakesEveryCallbackAbort)
{
    script("header 0 name=a\ncall data\ncall password\ncall volume /nonexistent/b.rar\nheader 0 name=b");
    TVoskUnRar c;
    c.KeepAlive = [&] { c.StopProcessing = true; };
    c.OnPassword = [](TVoskUnRar&, std::string&) {};
    c.OnVolChange = [](TVoskUnRar&, char*, int32_t) {};
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    EXPECT_EQ(Line(Calls(), "data"), "data -> -1");
    EXPECT_EQ(Line(Calls(), "passwordW"), "passwordW -> -1 untouched");
    EXPECT_EQ(Line(Calls(), "volume"), "volume -> -1 '/nonexistent/b.rar'");
    EXPECT_EQ(CountCalls(Calls(), "read"), 1u);
}

struct TVolChangeCase {
    const char* name;
    const char* newName;  // written by the handler; null leaves the buffer alone
    const char* expected;
};

void PrintTo(const TVolChangeCase& c, std::ostream* os)
{
    *os << c.name;
}

class FakeVolChangeTest : public FakeEngineTest, public ::testing::WithParamInterface<TVolChangeCase> {};

TEST_P(FakeVolChangeTest, HandlerAnswer)
{
    WriteAll(root / "b.rar", "x");
    script("header 0 name=a\ncall volume /nonexistent/b.rar");
    TVoskUnRar c;
    std::vector<int32_t> modes;
    c.OnVolChange = [&](TVoskUnRar&, char* name, int32_t mode) {
        modes.push_back(mode);
        if (!GetParam().newName)
            return;
        const std::string written = *GetParam().newName ? (root / GetParam().newName).string() : "";
        std::strcpy(name, written.c_str());
    };
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    std::string expected = GetParam().expected;
    const auto at = expected.find("ROOT");
    if (at != std::string::npos)
        expected.replace(at, 4, root.string());
    EXPECT_EQ(Line(Calls(), "volume"), expected);
    EXPECT_EQ(modes.front(), 0);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Fake, FakeVolChangeTest,
    ::testing::Values(TVolChangeCase{"UnchangedNameIsTriedAgain", nullptr, "volume -> 0 '/nonexistent/b.rar'"},
                      TVolChangeCase{"EmptyNameAborts", "", "volume -> -1 ''"},
                      TVolChangeCase{"NewNameIsTried", "b.rar", "volume -> 0 'ROOT/b.rar'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FakeEngineTest, VolumeOpenedNoticeGoesOnAndWideRequestsStayUnanswered)
{
    WriteAll(root / "b.rar", "x");
    script(("header 0 name=a\ncall volume " + (root / "b.rar").string()).c_str());
    // clang-format on
    TVoskUnRar c;
    c.OnVolChange = [](TVoskUnRar&, char*, int32_t) {};
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    EXPECT_EQ(Line(Calls(), "volume"), "volume -> 0 '" + (root / "b.rar").string() + "'");
    EXPECT_EQ(Line(Calls(), "notice"), "notice -> 0");
}

TEST_F(FakeEngineTest, NextVolumePromptShowsTheVolumeOfTheLastEntryAndTruncatesItsAnswer)
{
    script("header 0 name=a arc=/x/a.part3.rar\ncall volume /x/a.part4.rar");
    TScriptedPrompts prompts;
    prompts.volumeName = std::string(3000, 'v');
    TVoskUnRar c(&prompts);
    c.PromptForVolumn = true;
    c.FileName = "/x/a.part1.rar";
    c.ProcessArchive();
    EXPECT_EQ(prompts.volumeQuestions.front(), "/x/a.part3.rar");
    EXPECT_EQ(Line(Calls(), "volume"), "volume -> 0 '" + std::string(2047, 'v') + "'");
}

TEST_F(FakeEngineTest, CountingPassCountsWholeEntriesWith64BitSizes)
{
    script("header 0 name=a unp=0x140000000\nheader 0 name=b flags=0x01 unp=7\nheader 0 name=c unp=3");
    TVoskUnRar c;
    std::vector<uint64_t> totals;
    c.OnProgress = [&](TVoskUnRar&, uint32_t, uint32_t count, uint32_t, uint64_t size) { totals = {count, size}; };
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    EXPECT_EQ(totals, (std::vector<uint64_t>{0, 0}));  // no counting pass has run yet
    c.CanProgress = true;
    c.ProcessArchive();
    EXPECT_EQ(totals, (std::vector<uint64_t>{2, 0x140000003ull}));
    c.CanProgress = false;
    script("header 0 name=a");
    c.ProcessArchive();
    EXPECT_EQ(totals, (std::vector<uint64_t>{2, 0x140000003ull}));  // kept from the last count
}

TEST_F(FakeEngineTest, PasswordPropertyGoesToTheLibraryAfterTheCallback)
{
    script("version 7\nheader 0 name=a");
    TVoskUnRar c;
    EXPECT_EQ(c.DllVersion(), 7);
    c.FileName = "/x/a.rar";
    c.ProcessArchive();
    EXPECT_FALSE(Called("setpassword "));  // an empty password is not handed on

    script("version 7\nheader 0 name=a");
    c.Password = "pw";
    c.Directory = Out();
    c.ProcessArchive();
    EXPECT_EQ(Calls(), (std::vector<std::string>{"open /x/a.rar mode=1 cmtsize=0", "setcallback", "setpassword pw",
                                                 "read -> 0", "process 1 " + Out(), "read -> 10", "close"}));
}
