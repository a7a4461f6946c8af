// The engine writes every file itself: the same events, questions and files
// whether its writer's thread is off, on, or shares one processor with the
// engine; nothing half-made under any name; what killed runs left is
// removed by the next.
#include <algorithm>
#include <functional>
#include <map>
#include <sched.h>
#include <sys/stat.h>
#include <thread>

#include "archive/writer/FileJob.h"
#include "engine_support.h"
#include "support/rar4_writer.h"

namespace {

rar4::Entry UnixFile(std::string name, std::string data)
{
    rar4::Entry e{.name = std::move(name), .data = std::move(data), .declaredSize = {}};
    e.host = rar4::HostOs::Unix;
    e.attributes = 0100644;
    return e;
}

rar4::Entry UnixLink(std::string name, std::string target)
{
    rar4::Entry e = UnixFile(std::move(name), std::move(target));
    e.attributes = 0120777;
    return e;
}

// Every name below `folder` with what it holds: a file's bytes, a link's
// target, or a mark for a folder.
std::map<std::string, std::string> Tree(const fs::path& folder)
{
    std::map<std::string, std::string> tree;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string name = e.path().lexically_relative(folder).string();
        if (e.is_symlink())
            tree[name] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_directory())
            tree[name] = "/";
        else
            tree[name] = ReadAll(e.path());
    }
    return tree;
}

enum class TThread { Off, On, OneProcessor };

struct TWriterCase {
    const char* name;
    std::function<std::string(const fs::path& work)> archive;  // gives the archive's path
    std::function<void(const fs::path& out)> before;           // the user's files
    std::vector<std::string> asked;                            // questions expected, in order
    std::function<void(const std::map<std::string, std::string>& tree)> check;
    const char* stopAt = nullptr;  // the entry whose header event asks the run to stop
    bool stopOnError = false;      // the first error reported asks the run to stop
    // Every write takes milliseconds, so the thread falls far behind the
    // library and the engine names the files it has made.
    bool slowDisk = false;
};

void PrintTo(const TWriterCase& c, std::ostream* os)
{
    *os << c.name;
}

std::function<std::string(const fs::path&)> Rar4(std::vector<rar4::Entry> entries)
{
    return [entries](const fs::path& work) {
        const fs::path path = work / "case.rar";
        WriteAll(path, rar4::WriteArchive(entries));
        return path.string();
    };
}

std::function<std::string(const fs::path&)> Committed(const char* name)
{
    return [name](const fs::path&) { return DataDir() + "/" + name; };
}

std::vector<rar4::Entry> Files(int count)
{
    std::vector<rar4::Entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(UnixFile("f" + std::to_string(i) + ".txt", "new " + std::to_string(i) + "\n"));
    return entries;
}

// What f<i>.txt of MadeByRar holds: enough text that rar compresses it.
std::string RarText(int i)
{
    std::string text = "new " + std::to_string(i) + "\n";
    for (int line = 0; line < 8; ++line)
        text += "line " + std::to_string(line) + " of file " + std::to_string(i) + "\n";
    return text;
}

// `count` small files compressed by rar, in order.
std::function<std::string(const fs::path&)> MadeByRar(int count)
{
    return [count](const fs::path& work) {
        const fs::path tree = work / "tree";
        fs::create_directories(tree);
        std::string names;
        for (int i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i) + ".txt";
            WriteAll(tree / name, RarText(i));
            names += " " + name;
        }
        const fs::path path = work / "case.rar";
        EXPECT_EQ(std::system(
                      ("cd '" + tree.string() + "' && rar a -idq -ma5 '" + path.string() + "'" + names).c_str()),
                  0);
        return path.string();
    };
}

std::vector<rar4::Entry> TenFiles()
{
    return Files(10);
}

// clang-format off
const TWriterCase WriterCases[] = {
    {"AFileThenAPathThroughIt", Rar4({UnixFile("a/b", "file\n"), UnixFile("a/b/c", "through\n")}), {}, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("a/b"), "file\n");
         EXPECT_FALSE(tree.contains("a/b/c"));
     }},
    // The folder entry finds the file on its way and asks about it.
    {"AFileThenAFolderOfTheSameName", Rar4([] {
         rar4::Entry folder = UnixFile("d", "");
         folder.directory = true;
         folder.attributes = 040755;
         return std::vector<rar4::Entry>{UnixFile("d", "file\n"), folder, UnixFile("d/e", "in\n")};
     }()),
     {}, {"/d"},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("d"), "/");
         EXPECT_EQ(tree.at("d/e"), "in\n");
     }},
    // Folders are made while files are on their way; one that cannot be
    // made fails in its place among them.
    {"AFolderThatCannotBeMadeAmidAQueue", Rar4([] {
         std::vector<rar4::Entry> entries;
         for (int i = 0; i < 20; ++i)
             entries.push_back(UnixFile("d" + std::to_string(i) + "/f.txt", "in " + std::to_string(i) + "\n"));
         return entries;
     }()),
     [](const fs::path& out) { WriteAll(out / "d7", "mine\n"); }, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("d6/f.txt"), "in 6\n");
         EXPECT_EQ(tree.at("d7"), "mine\n");
         EXPECT_EQ(tree.at("d8/f.txt"), "in 8\n");
         EXPECT_EQ(tree.size(), 39u);
     }},
    {"TheSameNameTwiceIsAskedAbout", Rar4({UnixFile("n.txt", "one\n"), UnixFile("n.txt", "two\n")}), {},
     {"/n.txt"},
     [](const auto& tree) { EXPECT_EQ(tree.at("n.txt"), "two\n"); }},
    {"ALinkThenAFileThroughIt", Rar4({UnixFile("sub/x", "x\n"), UnixLink("a", "sub"), UnixFile("a/x", "via\n")}),
     {}, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("a"), "-> sub");
         EXPECT_EQ(tree.at("sub/x"), "x\n");
     }},
    {"AHardLinkToAFileStillOnItsWay", Committed("hardlink.rar"), {}, {},
     [](const auto& tree) { EXPECT_EQ(tree.at("hard.txt"), tree.at("a.txt")); }},
    {"AQuestionInTheMiddleOfAQueue", Rar4(TenFiles()),
     [](const fs::path& out) { WriteAll(out / "f5.txt", "mine\n"); }, {"/f5.txt"},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("f4.txt"), "new 4\n");
         EXPECT_EQ(tree.at("f5.txt"), "mine\n");  // answered No
         EXPECT_EQ(tree.at("f6.txt"), "new 6\n");
     }},
    {"AFileBiggerThanItsHeaderSays", Rar4([] {
         rar4::Entry big = UnixFile("big.bin", std::string(3 << 20, 'b'));
         return std::vector<rar4::Entry>{UnixFile("small.txt", "s\n"), big, UnixFile("after.txt", "a\n")};
     }()), {}, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("big.bin").size(), 3u << 20);
         EXPECT_EQ(tree.at("after.txt"), "a\n");
     }},
    // Streamed to the thread in chunks while the library unpacks it, and
    // still asked about before it takes a name.
    {"ALargeEntryStreamsAndIsAskedAbout", Rar4([] {
         return std::vector<rar4::Entry>{UnixFile("big.bin", std::string(5 << 20, 'n')),
                                         UnixFile("big.bin", std::string(3 << 20, 'm')), UnixFile("after.txt", "a\n")};
     }()),
     {}, {"/big.bin"},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("big.bin"), std::string(3 << 20, 'm'));  // answered Yes
         EXPECT_EQ(tree.at("after.txt"), "a\n");
     }},
    // A checksum found wrong at its end: the streamed file never gets a name.
    {"ALargeEntryWithABadChecksumLeavesNothing",
     [](const fs::path& work) {
         std::string bytes = rar4::WriteArchive({UnixFile("before.txt", "b\n"),
                                                 UnixFile("bad.bin", std::string(3 << 20, 'x')),
                                                 UnixFile("after.txt", "a\n")});
         bytes[bytes.size() / 2] = 'y';  // inside bad.bin's stored data
         const fs::path path = work / "case.rar";
         WriteAll(path, bytes);
         return path.string();
     },
     {}, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("before.txt"), "b\n");
         EXPECT_FALSE(tree.contains("bad.bin"));
     }},
    // The entry's file is made while its header is told: the stop keeps it
    // out, under any name.
    {"AStopAskedAtAHeaderKeepsThatEntryOut", Rar4(TenFiles()), {}, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("f2.txt"), "new 2\n");
         EXPECT_FALSE(tree.contains("f3.txt"));
         EXPECT_FALSE(tree.contains("f4.txt"));
     }, "f3.txt"},
    // Dozens of entries on their way at once: the question and the stop
    // still fall between the same two entries.
    {"AQuestionAndAStopDeepInALongQueue", Rar4(Files(60)),
     [](const fs::path& out) { WriteAll(out / "f40.txt", "mine\n"); }, {"/f40.txt"},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("f39.txt"), "new 39\n");
         EXPECT_EQ(tree.at("f40.txt"), "mine\n");
         EXPECT_EQ(tree.at("f49.txt"), "new 49\n");
         EXPECT_FALSE(tree.contains("f50.txt"));
         EXPECT_EQ(tree.size(), 50u);
     }, "f50.txt"},
    // The same far behind a slow disk: files made by the thread and named
    // by the engine, the question and the stop between the same entries.
    {"AQuestionAndAStopBehindASlowDisk", Rar4(Files(60)),
     [](const fs::path& out) { WriteAll(out / "f20.txt", "mine\n"); }, {"/f20.txt"},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("f19.txt"), "new 19\n");
         EXPECT_EQ(tree.at("f20.txt"), "mine\n");
         EXPECT_EQ(tree.at("f44.txt"), "new 44\n");
         EXPECT_FALSE(tree.contains("f45.txt"));
         EXPECT_EQ(tree.size(), 45u);
     }, "f45.txt", false, true},
    // More folders than are kept open, visited twice in turn: each is
    // closed while files may still be on their way into it, and opened again.
    {"ThreeHundredFoldersVisitedInTurn", Rar4([] {
         std::vector<rar4::Entry> entries;
         for (const char* file : {"a.txt", "b.dat"})
             for (int i = 0; i < 300; ++i) {
                 const std::string name = "d" + std::to_string(i) + "/" + file;
                 entries.push_back(UnixFile(name, name));
             }
         return entries;
     }()),
     [](const fs::path& out) {
         fs::create_directory(out / "d0");
         WriteAll(out / "d0/b.dat", "mine\n");
     },
     {"/d0/b.dat"},
     [](const auto& tree) {
         EXPECT_EQ(tree.size(), 900u);  // 300 folders, two files in each
         EXPECT_EQ(tree.at("d0/a.txt"), "d0/a.txt");
         EXPECT_EQ(tree.at("d0/b.dat"), "mine\n");
         EXPECT_EQ(tree.at("d299/b.dat"), "d299/b.dat");
     }},
    // Small files rar compressed: with the thread on, a second handle of the
    // library may unpack some of them ahead, and the question and the stop
    // still fall between the same two entries.
    {"ManySmallCompressedFilesWithAQuestionAndAStop", MadeByRar(200),
     [](const fs::path& out) { WriteAll(out / "f120.txt", "mine\n"); }, {"/f120.txt"},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("f119.txt"), RarText(119));
         EXPECT_EQ(tree.at("f120.txt"), "mine\n");
         EXPECT_EQ(tree.at("f179.txt"), RarText(179));
         EXPECT_FALSE(tree.contains("f180.txt"));
         EXPECT_EQ(tree.size(), 180u);
     }, "f180.txt"},
    // A folder stands where f3.txt goes: its failure is told before f4's
    // header, and a stop asked there keeps every later entry out.
    {"AStopAskedAtAFailureKeepsWhatFollowsOut", Rar4(Files(30)),
     [](const fs::path& out) { fs::create_directory(out / "f3.txt"); }, {},
     [](const auto& tree) {
         EXPECT_EQ(tree.at("f2.txt"), "new 2\n");
         EXPECT_EQ(tree.at("f3.txt"), "/");
         EXPECT_FALSE(tree.contains("f4.txt"));
     }, nullptr, true},
};
// clang-format on

class WriterTable : public EngineTest, public ::testing::WithParamInterface<TWriterCase> {
protected:
    struct TOutcome {
        std::vector<std::string> events;
        std::vector<std::string> asked;
        std::map<std::string, std::string> tree;
    };

    TOutcome Run(TThread thread)
    {
        const TWriterCase& row = GetParam();
        const fs::path out = root / ("out" + std::to_string(static_cast<int>(thread)));
        fs::create_directories(out);
        if (row.before)
            row.before(out);
        TOutcome outcome;
        struct TSlow {
            explicit TSlow(bool on) { TFileJob::SlowDisk = std::chrono::milliseconds(on ? 2 : 0); }
            ~TSlow() { TFileJob::SlowDisk = {}; }
        } slow(row.slowDisk);
        const auto run = [&] {
            TVoskUnRar c;
            TVoskUnRarAccess::SetWriterThread(c, thread != TThread::Off);
            TEventLog events;
            events.Attach(c);
            if (row.stopOnError)
                c.OnError = [&, told = c.OnError](TVoskUnRar& sender, const std::string& text, int32_t code) {
                    told(sender, text, code);
                    sender.StopProcessing = true;
                };
            if (row.stopAt)
                c.OnFileProcessing = [&, told = c.OnFileProcessing](TVoskUnRar& sender, const TVoskRARHeaderData& h,
                                                                    int32_t status) {
                    told(sender, h, status);
                    if (h.FileName == row.stopAt)
                        sender.StopProcessing = true;
                };
            c.OnOverride = [&](TVoskUnRar&, const std::string& path, bool& can) {
                const std::string here = path.substr(out.string().size());
                events.lines.push_back("ask " + here);
                outcome.asked.push_back(here);
                // Yes for a file of the archive itself, No for the user's.
                can = ReadAll(path).rfind("mine", 0) != 0;
            };
            c.OverrideEvent = TOverrideOptions::OR_EVENT;
            c.FileName = row.archive(root);
            c.Directory = out.string();
            c.ProcessArchive();
            outcome.events = events.lines;
        };
        if (thread == TThread::OneProcessor) {
            // The writer's thread is made by the run and inherits this
            // thread's single processor.
            std::thread pinned([&] {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(sched_getcpu(), &one);
                EXPECT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
                run();
            });
            pinned.join();
        } else {
            run();
        }
        EXPECT_EQ(TemporaryNames(out), 0u);
        outcome.tree = Tree(out);
        return outcome;
    }
};

TEST_P(WriterTable, GivesTheSameEventsQuestionsAndFilesWithTheThreadOffOnAndOnOneProcessor)
{
    const TOutcome off = Run(TThread::Off);
    EXPECT_EQ(off.asked, GetParam().asked);
    GetParam().check(off.tree);
    for (const TThread thread : {TThread::On, TThread::OneProcessor}) {
        const TOutcome other = Run(thread);
        EXPECT_EQ(other.events, off.events) << static_cast<int>(thread);
        EXPECT_EQ(other.tree, off.tree) << static_cast<int>(thread);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WriterTable, ::testing::ValuesIn(WriterCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What runs that were killed left: this build's names of processes that are
// gone, earlier builds' names and their staging folders. The user's own
// files that merely look alike stay.
TEST_F(EngineTest, ARunRemovesWhatKilledRunsLeftAndNothingElse)
{
    const fs::path out = Out();
    fs::create_directories(out / "docs");
    WriteAll(out / ".brambold-p999999999-3", "left by a dead process");
    WriteAll(out / "docs/.brambold-p999999999-4", "left in a folder");
    WriteAll(out / ".brambold-0123456789abcdef-7", "left by an earlier build");
    fs::create_directories(out / ".brambold-0123456789abcdef-0");
    WriteAll(out / ".brambold-0123456789abcdef-0/.brambold-0123456789abcdef-8", "staged");
    fs::create_symlink("nowhere", out / ".brambold-p999999999-5");
    // Not ours: another pattern, a folder, and a name of this process.
    WriteAll(out / ".brambold-notes", "mine");
    fs::create_directories(out / ".brambold-p999999999-6");
    const std::string own = ".brambold-p" + std::to_string(getpid()) + "-999999";
    WriteAll(out / own, "this run's");

    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.FileName = DataDir() + "/rar4_unix.rar";
    c.Directory = out.string();
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    c.ProcessArchive();

    EXPECT_TRUE(events.errors.empty()) << events.errors.front();
    for (const char* gone : {".brambold-p999999999-3", "docs/.brambold-p999999999-4", ".brambold-0123456789abcdef-7",
                             ".brambold-0123456789abcdef-0", ".brambold-p999999999-5"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(out / gone))) << gone;
    for (const std::string kept : {".brambold-notes", ".brambold-p999999999-6", own.c_str()})
        EXPECT_TRUE(fs::exists(out / kept)) << kept;
    EXPECT_TRUE(fs::is_regular_file(out / "docs/notes.txt"));
}

// An old-format link under a destination of over 2,000 characters: the
// library makes it through its folder's descriptor, so no path is cut and
// none of the user's files is touched.
TEST_F(EngineTest, AnOldFormatLinkUnderAVeryLongDestinationLeavesTheUsersFilesAlone)
{
    fs::path dest = root / "d";
    while (dest.string().size() < 2031 - 101)
        dest /= std::string(100, 'x');
    dest /= std::string(2031 - dest.string().size() - 1, 'y');
    ASSERT_EQ(dest.string().size(), 2031u);
    fs::create_directories(dest);
    const std::string stem = ".brambold-p";
    for (size_t n = 2; n <= stem.size(); ++n)
        WriteAll(dest / stem.substr(0, n), "mine");
    WriteAll(dest / "l", "mine");
    WriteAll(root / "case.rar", rar4::WriteArchive({UnixFile("t.txt", "t\n"), UnixLink("l", "t.txt")}));

    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    int asked = 0;
    c.OnOverride = [&](TVoskUnRar&, const std::string&, bool& can) {
        ++asked;
        can = false;
    };
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    c.FileName = (root / "case.rar").string();
    c.Directory = dest.string();
    c.ProcessArchive();

    EXPECT_TRUE(events.errors.empty()) << events.errors.front();
    EXPECT_EQ(asked, 1);  // the user's "l", kept
    for (size_t n = 2; n <= stem.size(); ++n)
        EXPECT_EQ(ReadAll(dest / stem.substr(0, n)), "mine");
    EXPECT_EQ(ReadAll(dest / "l"), "mine");
    EXPECT_EQ(ReadAll(dest / "t.txt"), "t\n");
    EXPECT_EQ(TemporaryNames(root), 2u);  // the user's look-alikes only
}

// The library is loaded once per component and goes with the last: two
// components live at once, each with its own callback.
TEST_F(EngineTest, TwoComponentsAtOnceEachRunWithTheirOwnCallbacks)
{
    auto first = std::make_unique<TVoskUnRar>();
    TVoskUnRar second;
    TEventLog firstEvents, secondEvents;
    firstEvents.Attach(*first);
    secondEvents.Attach(second);
    for (TVoskUnRar* c : {first.get(), &second}) {
        c->FileName = DataDir() + "/password.rar";
        c->Password = c == first.get() ? "wrong" : "";
        c->PromptForPass = false;
    }
    second.SetMode(TVoskRarMode::VOSKRAR_LIST);
    first->SetMode(TVoskRarMode::VOSKRAR_LIST);
    first->ProcessArchive();
    first.reset();
    second.ProcessArchive();
    EXPECT_GT(secondEvents.Count("file "), 0u);
    EXPECT_EQ(secondEvents.Count("error Brambold: UnRar.Dll not loaded!"), 0u);
    EXPECT_EQ(firstEvents.Count("error Brambold: UnRar.Dll not loaded!"), 0u);
}

// A pipe named like an archive would keep the library waiting for good.
TEST_F(EngineTest, APipeNamedLikeAnArchiveIsNotOpened)
{
    const fs::path pipe = root / "p.rar";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const TVoskRarMode mode : {TVoskRarMode::VOSKRAR_LIST, TVoskRarMode::VOSKRAR_EXTRACT}) {
        TVoskUnRar c;
        TEventLog events;
        events.Attach(c);
        c.PrepareListing(pipe.string());
        c.SetMode(mode);
        c.FileName = pipe.string();
        c.Directory = Out();
        c.ProcessArchive();
        EXPECT_EQ(events.errors, std::vector<std::string>{"Brambold: Cannot open archive! 15"});
    }
}

}  // namespace

namespace {

// Where a file system has no unnamed files, a stand-in name of this process
// takes their place: the same files, a Yes replaces in one rename, and no
// stand-in is left, whether the run ends or is stopped in the middle.
TEST_F(EngineTest, WithoutUnnamedFilesAStandInNameServesAndNoneIsLeft)
{
    struct TRefused {
        TRefused() { TFileJob::UnnamedFilesRefused = true; }
        ~TRefused() { TFileJob::UnnamedFilesRefused = false; }
    } refused;
    for (const bool thread : {false, true}) {
        const fs::path out = root / (thread ? "thread" : "here");
        fs::create_directories(out);
        WriteAll(out / "readme.txt", "mine");
        TVoskUnRar c;
        TVoskUnRarAccess::SetWriterThread(c, thread);
        TEventLog events;
        events.Attach(c);
        int asked = 0;
        c.OnOverride = [&](TVoskUnRar&, const std::string&, bool& can) {
            ++asked;
            can = true;
        };
        c.OverrideEvent = TOverrideOptions::OR_EVENT;
        c.FileName = DataDir() + "/plain.rar";
        c.Directory = out.string();
        c.ProcessArchive();
        EXPECT_TRUE(events.errors.empty()) << events.errors.front();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(TemporaryNames(out), 0u);
        EXPECT_EQ(ReadAll(out / "readme.txt"), ReadAll(DataDir() + "/source/tree/readme.txt"));
    }

    // Stopped in the middle of a large entry.
    const fs::path big = root / "big.bin";
    WriteAll(big, std::string(64 << 20, 'z'));
    const std::string archive = (root / "big.rar").string();
    ASSERT_EQ(std::system(("cd '" + root.string() + "' && rar a -m1 -idq big.rar big.bin").c_str()), 0);
    TVoskUnRar c;
    c.KeepAlive = [&] { c.StopProcessing = true; };
    c.FileName = archive;
    c.Directory = Out();
    c.ProcessArchive();
    EXPECT_FALSE(fs::exists(fs::path(Out()) / "big.bin"));
    EXPECT_EQ(TemporaryNames(Out()), 0u);
}

// On a disk slower than the library the run waits for the writer's thread,
// for a large entry's chunks and for small files' names alike: the window
// must be kept alive meanwhile, not once per write.
TEST_F(EngineTest, WaitingForASlowDiskKeepsTheWindowAlive)
{
    const fs::path tree = root / "tree";
    fs::create_directories(tree);
    std::string big(5 << 20, '\0');
    uint32_t x = 2463534242u;
    for (char& ch : big) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        ch = static_cast<char>(x);
    }
    WriteAll(tree / "big.bin", big);
    WriteAll(tree / "a.txt", "first small file");
    WriteAll(tree / "b.txt", "second small file");
    const std::string archive = (root / "slow.rar").string();
    ASSERT_EQ(std::system(
                  ("cd '" + tree.string() + "' && rar a -m0 -idq '" + archive + "' big.bin a.txt b.txt").c_str()),
              0);

    struct TSlow {
        TSlow() { TFileJob::SlowDisk = std::chrono::milliseconds(120); }
        ~TSlow() { TFileJob::SlowDisk = {}; }
    } slow;
    TVoskUnRar c;
    TVoskUnRarAccess::SetWriterThread(c, true);
    TEventLog events;
    events.Attach(c);
    int calls = 0;
    c.KeepAlive = [&] { ++calls; };
    c.FileName = archive;
    c.Directory = Out();
    c.ProcessArchive();

    EXPECT_TRUE(events.errors.empty()) << events.errors.front();
    EXPECT_EQ(ReadAll(fs::path(Out()) / "big.bin"), big);
    EXPECT_EQ(ReadAll(fs::path(Out()) / "b.txt"), "second small file");
    // Seven writes of 120 ms, 840 ms of waiting: a keep-alive every 16 ms
    // makes about 50. Kept alive only between the writes, the window saw 4.
    // Counted, not timed: on a busy machine the library's own reads can
    // hold a run as long as a slow write.
    EXPECT_GE(calls, 20);

    // A keep-alive that throws while the run waits for room for the large
    // entry's chunks ends the run with its exception: no hang, no file.
    const fs::path out = root / "thrown";
    fs::create_directories(out);
    TVoskUnRar t;
    TVoskUnRarAccess::SetWriterThread(t, true);
    int thrown = 0;
    t.KeepAlive = [&] {
        // The first comes from the library's first data; the next ones
        // from the wait for room.
        if (++thrown > 1)
            throw std::runtime_error("from the window");
    };
    t.FileName = archive;
    t.Directory = out.string();
    EXPECT_THROW(t.ProcessArchive(), std::runtime_error);
    EXPECT_GE(thrown, 2);
    EXPECT_FALSE(fs::exists(out / "big.bin"));
    EXPECT_EQ(TemporaryNames(out), 0u);
}

}  // namespace
