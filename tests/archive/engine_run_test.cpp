// Runs of the engine on the real library and the committed archives.
#include "engine_support.h"
#include "test_support.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Every file of the tree, bin/random.bin whole.
const std::vector<std::string> WholeTreeFiles = [] {
    std::vector<std::string> files = TreeFiles;
    files.push_back("bin/random.bin");
    return files;
}();

void ExpectSameFiles(const fs::path& source, const fs::path& out, const std::vector<std::string>& names)
{
    for (const auto& name : names) {
        ASSERT_TRUE(fs::is_regular_file(out / name)) << name;
        EXPECT_EQ(ReadAll(out / name), ReadAll(source / name)) << name;
    }
}

size_t FilesUnder(const fs::path& folder)
{
    size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        n += e.is_regular_file();
    return n;
}

}  // namespace

TEST_F(EngineTest, ExtractRunReportsCountingAndMainPassAndWritesEveryFileIntact)
{
    TVoskUnRar c;
    EXPECT_GT(c.DllVersion(), 0);
    TEventLog events;
    events.Attach(c);
    std::vector<std::vector<uint64_t>> progress;
    c.OnProgress = [&](TVoskUnRar&, uint32_t f, uint32_t n, uint32_t s, uint64_t total) {
        progress.push_back({f, n, s, total});
    };
    c.CanProgress = true;
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    c.FileName = DataDir() + "/plain.rar";
    c.Directory = Out();
    c.ProcessArchive();

    EXPECT_TRUE(events.errors.empty()) << events.errors.front();
    EXPECT_EQ(events.Statuses(), (std::vector<int>{1, 0, 2, 1, 0, 2}));
    EXPECT_EQ(events.Count("file "), 14u);
    // The names arrive as UTF-8 whatever the process locale was at start.
    EXPECT_EQ(events.lines[5], "file readme.txt 0");
    EXPECT_EQ(events.lines[6], "file Müller.txt 0");
    EXPECT_EQ(events.lines[7], "file 日本語.txt 0");
    ASSERT_EQ(progress.size(), 14u);
    EXPECT_EQ(progress.front(), (std::vector<uint64_t>{1, 14, 1, 24415}));
    EXPECT_EQ(progress.back(), (std::vector<uint64_t>{14, 14, 14, 24415}));
    ExpectSameFiles(DataDir() + "/source/tree", Out(), WholeTreeFiles);
    EXPECT_TRUE(fs::is_directory(fs::path(Out()) / "empty"));
}

// A destination deeper than the library's path buffers: it is never handed
// the destination's path, so every name comes out whole, under every policy.
TEST_F(EngineTest, DeepDestinationGetsEveryNameWhole)
{
    fs::path deep = Out();
    while (deep.string().size() < 2100)
        deep /= std::string(200, 'd');
    fs::create_directories(deep);
    for (TOverrideOptions policy : {TOverrideOptions::OR_EVENT, TOverrideOptions::OR_ALWAYS}) {
        TVoskUnRar c;
        TEventLog events;
        events.Attach(c);
        c.OverrideEvent = policy;
        c.FileName = DataDir() + "/plain.rar";
        c.Directory = deep.string();
        c.ProcessArchive();
        EXPECT_TRUE(events.errors.empty()) << events.errors.front();
        ExpectSameFiles(DataDir() + "/source/tree", deep.string(), WholeTreeFiles);
    }
}

// The run works from inside the target folders; the library must still find
// the next volumes of an archive named relative to the working folder.
TEST_F(EngineTest, RelativelyNamedVolumesAreFoundFromInsideTheTargetFolders)
{
    const fs::path set = root / "set";
    fs::create_directories(set);
    for (const char* v : {"volumes_1.rar", "volumes_2.rar", "volumes_3.rar"})
        fs::copy_file(DataDir() + "/" + v, set / v);
    const fs::path before = fs::current_path();
    fs::current_path(set);
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.FileName = "volumes_1.rar";
    c.Directory = Out();
    c.ProcessArchive();
    const fs::path after = fs::current_path();
    fs::current_path(before);
    EXPECT_EQ(after, set);  // the working folder is given back
    EXPECT_TRUE(events.errors.empty()) << events.errors.front();
    EXPECT_EQ(fs::file_size(fs::path(Out()) / "big.bin"), 180000u);
    EXPECT_EQ(fs::file_size(fs::path(Out()) / "small.bin"), 40000u);
}

TEST_F(EngineTest, CommentIsReportedByEachOpenBeforeTheFirstEntry)
{
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.CanProgress = true;
    c.FileName = DataDir() + "/comment.rar";
    c.Directory = Out();
    c.ProcessArchive();

    const std::string comment = "Brambold Testkommentar: Grüße aus dem Archiv.\nZweite Zeile des Kommentars.\n";
    EXPECT_EQ(c.ArchivComment(), comment);
    EXPECT_EQ(c.CommentSize(), comment.size());
    ASSERT_EQ(events.Count("comment "), 2u);
    EXPECT_EQ(events.lines[2], "comment " + comment);  // counting pass
    EXPECT_EQ(events.lines[6], "comment " + comment);  // main pass
    EXPECT_EQ(events.lines[7], "file first.txt 0");
    ExpectSameFiles(DataDir() + "/source/comment", Out(), {"first.txt", "second.txt", "third.txt"});
}

TEST_F(EngineTest, OverwriteQuestionNamesTheExistingFileAndItsAnswerDecides)
{
    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer);
        fs::remove_all(Out());
        fs::create_directories(Out());
        WriteAll(fs::path(Out()) / "readme.txt", "old");
        TVoskUnRar c;
        std::vector<std::string> asked;
        c.OnOverride = [&](TVoskUnRar&, const std::string& path, bool& can) {
            EXPECT_FALSE(can);
            asked.push_back(path);
            can = answer;
        };
        c.OverrideEvent = TOverrideOptions::OR_EVENT;
        c.FileName = DataDir() + "/plain.rar";
        c.Directory = Out();
        c.ProcessArchive();
        EXPECT_EQ(asked, std::vector<std::string>{Out() + "/readme.txt"});
        EXPECT_EQ(ReadAll(fs::path(Out()) / "readme.txt"),
                  answer ? ReadAll(DataDir() + "/source/tree/readme.txt") : "old");
        ExpectSameFiles(DataDir() + "/source/tree", Out(), {"Müller.txt", "bin/random.bin"});
    }
}

// A finished entry is written and named on the writer's thread while the
// library unpacks the next one. What the handlers are told, in what order,
// and what ends up on disk must be the same as one entry at a time,
// questions included: one asked before the data is unpacked, and one for a
// file that another program makes while the run is under way.
TEST_F(EngineTest, WritingEntriesOnTheWritersThreadChangesNoEventAndNoFile)
{
    const auto run = [&](bool ahead) {
        const fs::path out = root / (ahead ? "ahead" : "one_by_one");
        fs::create_directories(out / "bin");
        WriteAll(out / "readme.txt", "old");
        WriteAll(out / "bin/random.bin", "old");
        TVoskUnRar c;
        TVoskUnRarAccess::SetWriterThread(c, ahead);
        TEventLog events;
        events.Attach(c);
        const auto here = [&](const std::string& path) { return path.substr(out.string().size()); };
        c.OnFileProcessing = [&](TVoskUnRar&, const TVoskRARHeaderData& h, int32_t) {
            events.lines.push_back("file " + h.FileName);
            if (h.FileName == "日本語.txt")
                WriteAll(out / "日本語.txt", "theirs");
        };
        c.OnProgress = [&](TVoskUnRar&, uint32_t files, uint32_t, uint32_t, uint64_t) {
            events.lines.push_back("progress " + std::to_string(files));
        };
        c.OnOverride = [&](TVoskUnRar&, const std::string& path, bool& can) {
            events.lines.push_back("ask " + here(path));
            can = path.ends_with("readme.txt");
        };
        c.OverrideEvent = TOverrideOptions::OR_EVENT;
        c.FileName = DataDir() + "/plain.rar";
        c.Directory = out.string();
        c.ProcessArchive();
        EXPECT_EQ(TemporaryNames(out), 0u);
        EXPECT_EQ(ReadAll(out / "日本語.txt"), "theirs");
        EXPECT_EQ(ReadAll(out / "bin/random.bin"), "old");
        EXPECT_EQ(ReadAll(out / "readme.txt"), ReadAll(DataDir() + "/source/tree/readme.txt"));
        return events.lines;
    };
    const std::vector<std::string> oneByOne = run(false);
    EXPECT_EQ(run(true), oneByOne);
    for (const char* asked : {"ask /readme.txt", "ask /日本語.txt", "ask /bin/random.bin"})
        EXPECT_EQ(std::count(oneByOne.begin(), oneByOne.end(), asked), 1) << asked;
    ExpectSameFiles(root / "one_by_one", root / "ahead", WholeTreeFiles);
}

// A solid archive visits its folders in turn, once per kind of file; with
// more folders than are kept open, those open are closed mid-run, while an
// entry may still be on its way into one of them.
TEST_F(EngineTest, ASolidArchiveOfManyFoldersVisitedInTurnWritesEveryFile)
{
    const fs::path source = root / "source";
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        for (const char* file : {"a.txt", "b.dat"}) {
            names.push_back("d" + std::to_string(i) + "/" + file);
            fs::create_directories(source / ("d" + std::to_string(i)));
            WriteAll(source / names.back(), names.back());
        }
    const std::string archive = (root / "folders.rar").string();
    const std::string command = "cd '" + source.string() + "' && rar a -s -r -idq -y '" + archive + "' .";
    ASSERT_EQ(std::system(command.c_str()), 0);

    for (const bool ahead : {false, true}) {
        const fs::path out = root / (ahead ? "ahead" : "one_by_one");
        fs::create_directories(out / "d299");
        WriteAll(out / "d299/b.dat", "old");
        TVoskUnRar c;
        TVoskUnRarAccess::SetWriterThread(c, ahead);
        TEventLog events;
        events.Attach(c);
        std::vector<std::string> asked;
        c.OnOverride = [&](TVoskUnRar&, const std::string& path, bool& can) {
            asked.push_back(path.substr(out.string().size()));
            can = true;
        };
        c.OverrideEvent = TOverrideOptions::OR_EVENT;
        c.FileName = archive;
        c.Directory = out.string();
        c.ProcessArchive();
        EXPECT_TRUE(events.errors.empty()) << events.errors.front();
        EXPECT_EQ(asked, std::vector<std::string>{"/d299/b.dat"});
        EXPECT_EQ(TemporaryNames(out), 0u);
        EXPECT_EQ(FilesUnder(out), names.size());
        ExpectSameFiles(source, out, names);
    }
}

TEST_F(EngineTest, StopFromAHandlerEndsTheRunThroughTheClose)
{
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.OnFileProcessing = [&](TVoskUnRar& sender, const TVoskRARHeaderData& h, int32_t) {
        events.lines.push_back("file " + h.FileName);
        if (h.FileName == "日本語.txt")
            sender.StopProcessing = true;
    };
    c.FileName = DataDir() + "/plain.rar";
    c.Directory = Out();
    c.ProcessArchive();

    EXPECT_EQ(events.Count("file "), 3u);
    EXPECT_EQ(events.lines.back(), "status 2");
    EXPECT_TRUE(events.errors.empty());
    EXPECT_EQ(FilesUnder(Out()), 2u);
}

TEST_F(EngineTest, StopFromKeepAliveAbandonsALargeEntry)
{
    const fs::path big = root / "big.bin";
    {
        std::ofstream out(big, std::ios::binary);
        std::string block(1 << 20, '\0');
        uint32_t x = 2463534242u;
        for (int mb = 0; mb < 24; ++mb) {
            for (char& ch : block) {
                x ^= x << 13, x ^= x >> 17, x ^= x << 5;
                ch = static_cast<char>(x);
            }
            out << block;
        }
    }
    const std::string archive = (root / "big.rar").string();
    const std::string command = "rar a -m0 -ep1 -idq -y '" + archive + "' '" + big.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    int keepAlives = 0;
    c.KeepAlive = [&] {
        ++keepAlives;
        c.StopProcessing = true;
    };
    c.FileName = archive;
    c.Directory = Out();
    c.ProcessArchive();

    EXPECT_EQ(keepAlives, 1);
    EXPECT_EQ(events.lines.back(), "status 2");
    // The stop is the window's to tell; the library's answer for the
    // abandoned entry adds nothing, and no part of the entry is left.
    EXPECT_TRUE(events.errors.empty());
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "big.bin"));
    EXPECT_EQ(TemporaryNames(Out()), 0u);
}

struct TPasswordCase {
    const char* name;
    const char* archive;
    enum { Handler, Prompt, Neither } source;
    const char* password;
    std::vector<std::string> errors;
};

void PrintTo(const TPasswordCase& c, std::ostream* os)
{
    *os << c.name;
}

class EnginePasswordTest : public EngineTest, public ::testing::WithParamInterface<TPasswordCase> {};

TEST_P(EnginePasswordTest, Runs)
{
    const TPasswordCase& p = GetParam();
    WriteAll(root / "program" / "password.txt", "typed before\nsecond line");
    TScriptedPrompts prompts;
    prompts.password = p.password;
    TVoskUnRar c(&prompts);
    TEventLog events;
    events.Attach(c);
    if (p.source == TPasswordCase::Handler)
        c.OnPassword = [&](TVoskUnRar&, std::string& pw) {
            EXPECT_EQ(pw, "");
            pw = p.password;
        };
    c.PromptForPass = p.source == TPasswordCase::Prompt;
    c.FileName = DataDir() + "/" + p.archive;
    c.Directory = Out();
    c.ProcessArchive();

    EXPECT_EQ(events.errors, p.errors);
    EXPECT_EQ(events.lines.back(), "status 2");
    if (p.errors.empty())
        ExpectSameFiles(DataDir() + "/source/comment", Out(), {"first.txt", "second.txt", "third.txt"});
    if (p.source == TPasswordCase::Prompt) {
        ASSERT_FALSE(prompts.passwordPrefills.empty());
        EXPECT_EQ(prompts.passwordPrefills[0], "typed before");
        EXPECT_EQ(c.Password, "");  // the typed password serves this request only
    }
    if (p.source != TPasswordCase::Neither) {
        EXPECT_GT(events.Count("status 3"), 0u);
        EXPECT_EQ(events.Count(std::string("status 3 Brambold: Used Password is: ") + p.password),
                  events.Count("status 3"));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, EnginePasswordTest,
    ::testing::Values(
        TPasswordCase{"HandlerAnswersEncryptedData", "password.rar", TPasswordCase::Handler, "secret", {}},
        TPasswordCase{"PromptAnswersEncryptedData", "password.rar", TPasswordCase::Prompt, "secret", {}},
        TPasswordCase{"PromptAnswersEncryptedHeaders", "headers_password.rar", TPasswordCase::Prompt, "secret", {}},
        TPasswordCase{"NeitherReportsNoPasswordThenMissing", "password.rar", TPasswordCase::Neither, "",
                      {"Brambold: No Password! 0", "Brambold: Password missing! 22"}},
        TPasswordCase{"WrongPasswordOnDataEndsWithAnError", "password.rar", TPasswordCase::Handler, "wrong",
                      {"Brambold: Wrong password! 24"}},
        TPasswordCase{"WrongPasswordOnHeadersEndsWithAnError", "headers_password.rar", TPasswordCase::Handler,
                      "wrong", {"Brambold: Wrong password! 24"}},
        TPasswordCase{"NoPasswordForHeadersEndsWithAnError", "headers_password.rar", TPasswordCase::Neither, "",
                      {"Brambold: No Password! 0", "Brambold: Password missing! 22"}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Answers the password prompt from a list, the last answer again when it
// runs out, and notes whether each request was a repeat.
struct TSequencePrompts : IUnRarPrompts {
    std::vector<std::string> answers;
    size_t at = 0;
    std::vector<bool> repeats;
    std::string AskPassword(const std::string&, const TPasswordRequest& r) override
    {
        repeats.push_back(r.repeat);
        return at < answers.size() ? answers[at++] : answers.back();
    }
    bool AskNextVolume(const std::string&, std::string&) override { return false; }
};

// Each run opens the archive anew and the library asks anew: the prompt is
// told when it is back because the last answer was wrong, and which archive
// it is.
TEST_F(EngineTest, PasswordPromptIsToldWhenTheLastAnswerWasWrong)
{
    TScriptedPrompts prompts;
    prompts.password = "wrong";
    TVoskUnRar c(&prompts);
    c.PromptForPass = true;
    c.CanProgress = false;  // one open a run, as in the window
    c.Directory = Out();
    const std::string headers = DataDir() + "/headers_password.rar";
    const std::string other = DataDir() + "/hp5.rar";
    for (const std::string& archive : {headers, headers, other, other}) {
        c.FileName = archive;
        c.ProcessArchive();
    }
    // The library asks again within a run after a wrong answer, and the next
    // run asks anew: only the very first request for an archive is a first.
    std::vector<std::pair<std::string, bool>> seen;
    for (const TPasswordRequest& r : prompts.passwordRequests)
        if (seen.empty() || seen.back() != std::pair(r.archive, r.repeat))
            seen.emplace_back(r.archive, r.repeat);
    const std::vector<std::pair<std::string, bool>> expected{{headers, false},
                                                             {headers, true},
                                                             {other, false},
                                                             {other, true}};
    EXPECT_EQ(seen, expected);

    // A right answer after a wrong one within an open cannot mend that open
    // (the library calls its header corrupt): nobody said it was wrong, and
    // the next run's prompt does not say so either.
    TSequencePrompts sequence;
    sequence.answers = {"wrong", "secret"};
    TVoskUnRar fresh(&sequence);
    fresh.PromptForPass = true;
    fresh.FileName = headers;
    fresh.Directory = Out();
    fresh.ProcessArchive();
    fresh.ProcessArchive();
    EXPECT_EQ(sequence.repeats, (std::vector<bool>{false, true, false}));

    // A right answer is no reason to say so.
    prompts.password = "secret";
    prompts.passwordRequests.clear();
    c.FileName = headers;
    c.ProcessArchive();
    c.ProcessArchive();
    ASSERT_FALSE(prompts.passwordRequests.empty());
    for (const TPasswordRequest& r : prompts.passwordRequests)
        EXPECT_FALSE(r.repeat);
}

TEST_F(EngineTest, SilentPasswordFileGivesThePasswordAndAnEmptyOneGivesNone)
{
    WriteAll(root / "program" / "silent.txt", "secret\r\n");
    {
        TVoskUnRar c;
        EXPECT_EQ(c.Password, "secret");
        c.FileName = DataDir() + "/headers_password.rar";
        c.Directory = Out();
        c.ProcessArchive();
        ExpectSameFiles(DataDir() + "/source/comment", Out(), {"first.txt", "second.txt", "third.txt"});
    }
    WriteAll(root / "program" / "silent.txt", "");
    TVoskUnRar c;
    EXPECT_EQ(c.Password, "");
}

struct TVolumeCase {
    const char* name;
    enum { Unchanged, Empty, OtherFolder, NoPrompt } answer;
    bool extracted;
};

void PrintTo(const TVolumeCase& c, std::ostream* os)
{
    *os << c.name;
}

class EngineVolumeTest : public EngineTest, public ::testing::WithParamInterface<TVolumeCase> {};

TEST_P(EngineVolumeTest, MissingSecondVolume)
{
    const TVolumeCase& p = GetParam();
    fs::create_directories(root / "elsewhere");
    fs::copy_file(DataDir() + "/volumes_1.rar", root / "volumes_1.rar");
    fs::copy_file(DataDir() + "/volumes_2.rar", root / "elsewhere" / "volumes_2.rar");
    fs::copy_file(DataDir() + "/volumes_3.rar", root / "elsewhere" / "volumes_3.rar");

    TScriptedPrompts prompts;
    prompts.volumeKeepsName = p.answer == TVolumeCase::Unchanged;
    prompts.volumeName = p.answer == TVolumeCase::OtherFolder ? (root / "elsewhere" / "volumes_2.rar").string() : "";
    TVoskUnRar c(&prompts);
    TEventLog events;
    events.Attach(c);
    c.PromptForVolumn = p.answer != TVolumeCase::NoPrompt;
    c.FileName = (root / "volumes_1.rar").string();
    c.Directory = Out();
    c.ProcessArchive();

    EXPECT_EQ(events.lines.back(), "status 2");
    if (p.answer == TVolumeCase::NoPrompt)
        EXPECT_TRUE(prompts.volumeQuestions.empty());
    else
        EXPECT_EQ(prompts.volumeQuestions, std::vector<std::string>{c.FileName});
    if (p.extracted) {
        EXPECT_TRUE(events.errors.empty());
        ExpectSameFiles(DataDir() + "/source/volumes", Out(), {"big.bin", "small.bin"});
    } else {
        EXPECT_EQ(events.errors, std::vector<std::string>{"Brambold: Volume-Error! 15"});
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Engine, EngineVolumeTest,
                         ::testing::Values(TVolumeCase{"OkWithTheSameNameAborts", TVolumeCase::Unchanged, false},
                                           TVolumeCase{"AnEmptyNameAborts", TVolumeCase::Empty, false},
                                           TVolumeCase{"ANameThatExistsGoesOn", TVolumeCase::OtherFolder, true},
                                           TVolumeCase{"NoPromptAbortsAtOnce", TVolumeCase::NoPrompt, false}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct TUnloadedCase {
    const char* name;
    const char* library;
};

void PrintTo(const TUnloadedCase& c, std::ostream* os)
{
    *os << c.name;
}

class EngineUnloadedTest : public EngineTest, public ::testing::WithParamInterface<TUnloadedCase> {};

TEST_P(EngineUnloadedTest, ReportsOnlyTheMissingLibrary)
{
    setenv("BRAMBOLD_UNRAR_LIBRARY", GetParam().library, 1);
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.CanProgress = true;
    c.FileName = DataDir() + "/plain.rar";
    c.ProcessArchive();
    EXPECT_EQ(c.DllVersion(), 0);
    EXPECT_EQ(events.lines, std::vector<std::string>{"error Brambold: UnRar.Dll not loaded! 0"});
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Engine, EngineUnloadedTest,
                         ::testing::Values(TUnloadedCase{"NoSuchFile", "/nonexistent/libunrar.so"},
                                           TUnloadedCase{"LibraryWithoutTheCalls", "libc.so.6"}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct TOpenFailCase {
    const char* name;
    const char* file;
    int result;
};

void PrintTo(const TOpenFailCase& c, std::ostream* os)
{
    *os << c.name;
}

class EngineOpenFailTest : public EngineTest, public ::testing::WithParamInterface<TOpenFailCase> {};

TEST_P(EngineOpenFailTest, IsReportedOnceWithPairedStatusLines)
{
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.CanProgress = true;
    c.FileName = DataDir() + "/" + GetParam().file;
    c.ProcessArchive();
    EXPECT_EQ(events.lines,
              (std::vector<std::string>{"status 1", "status 0",
                                        "error Brambold: Cannot open archive! " + std::to_string(GetParam().result),
                                        "status 2"}));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Engine, EngineOpenFailTest,
                         ::testing::Values(TOpenFailCase{"MissingFile", "no_such.rar", ERAR_EOPEN},
                                           TOpenFailCase{"NotAnArchive", "README.md", ERAR_BAD_ARCHIVE}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

struct TThrowCase {
    const char* name;
    void (*arm)(TVoskUnRar&);
    const char* archive;
};

void PrintTo(const TThrowCase& c, std::ostream* os)
{
    *os << c.name;
}

class EngineThrowTest : public EngineTest, public ::testing::WithParamInterface<TThrowCase> {};

TEST_P(EngineThrowTest, ReachesTheCallerAfterTheClose)
{
    for (int round = 0; round < 2; ++round) {  // the library still works afterwards
        TVoskUnRar c;
        TEventLog events;
        events.Attach(c);
        GetParam().arm(c);
        const auto armed = c.OnRarStatus;
        c.OnRarStatus = [&events, armed](TVoskUnRar& sender, const std::string& m, TRarStatus s) {
            events.lines.push_back("status " + std::to_string(static_cast<int>(s)));
            armed(sender, m, s);
        };
        c.OverrideEvent = TOverrideOptions::OR_EVENT;
        c.FileName = DataDir() + "/" + GetParam().archive;
        c.Directory = Out();
        EXPECT_THROW(c.ProcessArchive(), std::runtime_error);
        ASSERT_FALSE(events.lines.empty());
        EXPECT_EQ(events.lines.back(), "status 2");
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Engine, EngineThrowTest,
    ::testing::Values(
        TThrowCase{"FromTheHeaderHandler",
                   [](TVoskUnRar& c) {
                       c.OnFileProcessing = [](TVoskUnRar&, const TVoskRARHeaderData&, int32_t) {
                           throw std::runtime_error("handler");
                       };
                   },
                   "plain.rar"},
        TThrowCase{"FromThePasswordHandlerInsideTheCallback",
                   [](TVoskUnRar& c) {
                       c.OnPassword = [](TVoskUnRar&, std::string&) { throw std::runtime_error("password"); };
                   },
                   "headers_password.rar"},
        TThrowCase{"FromAnUnreadablePasswordFileInsideTheCallback",
                   [](TVoskUnRar& c) {
                       // Reading offset 0 of a process's memory fails even for root.
                       const fs::path file = platform::ProgramFolder() + "password.txt";
                       fs::remove(file);
                       fs::create_symlink("/proc/self/mem", file);
                       static TScriptedPrompts prompts;
                       c.SetPrompts(&prompts);
                       c.PromptForPass = true;
                   },
                   "headers_password.rar"},
        TThrowCase{"FromKeepAliveInsideTheCallback",
                   [](TVoskUnRar& c) { c.KeepAlive = [] { throw std::runtime_error("keep alive"); }; },
                   "plain.rar"},
        TThrowCase{"FromTheOpenStatus",
                   [](TVoskUnRar& c) {
                       c.OnRarStatus = [](TVoskUnRar&, const std::string&, TRarStatus s) {
                           if (s == TRarStatus::RAR_ONOPEN)
                               throw std::runtime_error("status");
                       };
                   },
                   "plain.rar"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on
