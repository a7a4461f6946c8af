// A listing served from a walk made ahead must be indistinguishable from a
// listing on the library: same events, same fields, same order.
#include "engine_support.h"

#include "archive/library/ListingRecord.h"

#include <algorithm>
#include <chrono>
#include <unistd.h>

namespace {

std::string Describe(const TVoskRARHeaderData& h)
{
    std::ostringstream o;
    o << h.ArcName << '|' << h.FileName << '|' << h.ContinuedNext << h.ContinuedPrev << h.Encrypted << h.IsDirectory
      << '|' << h.DicSize << '|' << h.PackSize << '|' << h.UnpSize << '|' << h.HostOS << '|' << h.CRC << '|'
      << std::setprecision(17) << h.Time << '|' << h.Major << '.' << h.Minor << '|' << h.Method << '|' << h.AttrArchive
      << h.AttrCompressed << h.AttrDirectory << h.AttrHidden << h.AttrNormal << h.AttrOffline << h.AttrReadOnly
      << h.AttrSystem << h.AttrTemporary;
    return o.str();
}

// Every event and every question of a run, in order, with all its values,
// and the longest time the run kept the window from handling its messages.
struct TFullLog : TScriptedPrompts {
    std::vector<std::string> lines;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration largestGap{};

    // The window gets control back: at every event and every KeepAlive.
    void Mark()
    {
        const auto now = std::chrono::steady_clock::now();
        largestGap = std::max(largestGap, now - last);
        last = now;
    }
    void Add(std::string line)
    {
        Mark();
        lines.push_back(std::move(line));
    }

    void Attach(TVoskUnRar& c)
    {
        c.KeepAlive = [this] { Mark(); };
        c.SetPrompts(this);
        c.PromptForPass = true;
        c.PromptForVolumn = true;
        c.OnError = [this](TVoskUnRar&, const std::string& m, int32_t id) {
            Add("error " + m + " " + std::to_string(id));
        };
        c.OnRarStatus = [this](TVoskUnRar&, const std::string& m, TRarStatus s) {
            Add("status " + std::to_string(static_cast<int>(s)) + " " + m);
        };
        c.OnComment = [this](TVoskUnRar&, const std::string& text) { Add("comment " + text); };
        c.OnFileProcessing = [this](TVoskUnRar&, const TVoskRARHeaderData& h, int32_t status) {
            Add("file " + std::to_string(status) + " " + Describe(h));
        };
        c.OnProgress = [this](TVoskUnRar&, uint32_t f, uint32_t n, uint32_t s, uint64_t total) {
            Add("progress " + std::to_string(f) + " " + std::to_string(n) + " " + std::to_string(s) + " " +
                std::to_string(total));
        };
    }
    std::string AskPassword(const std::string& prefill, const TPasswordRequest& request) override
    {
        Add("ask password " + prefill);
        return TScriptedPrompts::AskPassword(prefill, request);
    }
    bool AskNextVolume(const std::string& current, std::string& name) override
    {
        Add("ask volume " + current);
        return TScriptedPrompts::AskNextVolume(current, name);
    }
};

// One listing run as the window makes it, prepared ahead or not.
struct TListing {
    std::vector<std::string> lines;
    bool replayed = false;
    std::string comment;
    std::chrono::milliseconds largestGap{};
};

TListing List(const std::string& archive, const std::string& silentPassword, const std::string& typed, bool prepared)
{
    TVoskUnRar c;
    TFullLog log;
    log.password = typed;
    log.volumeOk = false;
    log.Attach(c);
    c.Password = silentPassword;
    if (prepared)
        c.PrepareListing(archive);
    c.FileName = archive;
    c.SetMode(TVoskRarMode::VOSKRAR_LIST);
    c.OverrideEvent = TOverrideOptions::OR_EVENT;
    log.last = std::chrono::steady_clock::now();
    c.ProcessArchive();
    log.Mark();
    return {log.lines, c.Replayed(), c.ArchivComment(),
            std::chrono::duration_cast<std::chrono::milliseconds>(log.largestGap)};
}

struct Row {
    std::string archive;      // in tests/data, or made by the test
    std::string silent;       // password from silent.txt
    std::string typed;        // password given at the prompt
    bool served;              // whether the walk made ahead can stand for the run
    std::string script = {};  // when set, the run is on the fake library with this script
};

// A library that needs 10 ms for each header, as on slow media: the run
// starts long before the walk ends.
std::string SlowLibrary()
{
    std::string text = "pause 10\n";
    for (int i = 0; i < 150; ++i)
        text += "header 0 name=f" + std::to_string(i) + " unp=" + std::to_string(i) + "\nprocess 0\n";
    return text;
}

void PrintTo(const Row& r, std::ostream* os)
{
    *os << r.archive << " silent=" << r.silent << " typed=" << r.typed;
}

class ListingReplay : public FakeEngineTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override
    {
        FakeEngineTest::SetUp();
        if (GetParam().script.empty())
            unsetenv("BRAMBOLD_UNRAR_LIBRARY");
        else
            script(GetParam().script.c_str());
    }

    // Cut and damaged copies, and a volume set with its last part missing.
    std::string Path(const std::string& name)
    {
        const fs::path made = root / "made";
        fs::create_directories(made);
        auto cut = [&](const std::string& source, size_t less) {
            const std::string bytes = ReadAll(DataDir() + "/" + source);
            WriteAll(made / name, bytes.substr(0, bytes.size() - less));
            return (made / name).string();
        };
        if (!GetParam().script.empty()) {
            WriteAll(made / name, "Rar!");
            return (made / name).string();
        }
        if (name == "plain_short1.rar")
            return cut("plain.rar", 1);
        if (name == "plain_half.rar")
            return cut("plain.rar", ReadAll(DataDir() + "/plain.rar").size() / 2);
        if (name == "comment_short20.rar")
            return cut("comment.rar", 20);
        if (name == "rar4_windows_short1.rar")
            return cut("rar4_windows.rar", 1);
        if (name == "headers_password_short100.rar")
            return cut("headers_password.rar", 100);
        if (name == "volumes_1_alone.rar") {
            fs::copy_file(DataDir() + "/volumes_1.rar", made / "volumes_1.rar", fs::copy_options::overwrite_existing);
            fs::copy_file(DataDir() + "/volumes_2.rar", made / "volumes_2.rar", fs::copy_options::overwrite_existing);
            return (made / "volumes_1.rar").string();
        }
        return DataDir() + "/" + name;
    }
};

}  // namespace

TEST_P(ListingReplay, GivesTheSameEventsAsTheLibrary)
{
    const Row& row = GetParam();
    const std::string archive = Path(row.archive);
    const TListing direct = List(archive, row.silent, row.typed, false);
    const TListing replayed = List(archive, row.silent, row.typed, true);

    EXPECT_FALSE(direct.replayed);
    EXPECT_EQ(replayed.replayed, row.served);
    ASSERT_FALSE(direct.lines.empty());
    EXPECT_EQ(replayed.lines, direct.lines);
    EXPECT_EQ(replayed.comment, direct.comment);
    EXPECT_EQ(TListingRecorder::Running(), 0);
    // Waiting for the walk, the run still lets the window handle its
    // messages, as a direct listing does between its headers.
    EXPECT_LT(replayed.largestGap.count(), 250);
    EXPECT_LT(direct.largestGap.count(), 250);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    EveryArchive, ListingReplay,
    ::testing::Values(Row{"plain.rar", "", "", true}, Row{"solid.rar", "", "", true}, Row{"empty.rar", "", "", true},
                      Row{"comment.rar", "", "", true}, Row{"big_comment.rar", "", "", true},
                      Row{"records.rar", "", "", true}, Row{"sizes.rar", "", "", true},
                      Row{"ten.rar", "", "", true}, Row{"links.rar", "", "", true},
                      Row{"hardlink.rar", "", "", true}, Row{"filecopy.rar", "", "", true},
                      Row{"setid.rar", "", "", true}, Row{"rar4_hosts.rar", "", "", true},
                      Row{"rar4_large.rar", "", "", true}, Row{"rar4_traversal.rar", "", "", true},
                      Row{"rar4_unix.rar", "", "", true}, Row{"rar4_windows.rar", "", "", true},
                      // volumes: the notices of each change come in the same places
                      Row{"volumes_1.rar", "", "", true}, Row{"volumes_2.rar", "", "", true},
                      Row{"rar4_volumes.rar", "", "", true},
                      // the walk would have to ask for the missing volume: the run asks
                      Row{"volumes_1_alone.rar", "", "", false},
                      // encrypted data lists without a question; encrypted headers ask
                      Row{"password.rar", "", "", true}, Row{"password.rar", "secret", "", true},
                      Row{"headers_password.rar", "", "secret", false},
                      Row{"headers_password.rar", "", "wrong", false},
                      Row{"headers_password.rar", "secret", "", true},
                      Row{"headers_password.rar", "wrong", "", true},
                      // Cut inside the encrypted end block (8 bytes short), the library reads memory it never
                      // set (valgrind shows it) and answers differently from run to run: no row compares that.
                      Row{"headers_password_short100.rar", "secret", "", true},
                      // cut and damaged: the library's errors and the end check
                      Row{"truncated.rar", "", "", true}, Row{"damaged.rar", "", "", true},
                      Row{"plain_short1.rar", "", "", true}, Row{"plain_half.rar", "", "", true},
                      Row{"comment_short20.rar", "", "", true}, Row{"rar4_windows_short1.rar", "", "", true},
                      Row{"missing.rar", "", "", false}, Row{"datatool.py", "", "", true},
                      Row{"slow.rar", "", "", true, SlowLibrary()}));
// clang-format on

// What the walk saw must still be what the run would read.
TEST_F(EngineTest, AWalkOfAnArchiveChangedSinceIsDropped)
{
    const fs::path archive = root / "a.rar";
    fs::copy_file(DataDir() + "/plain.rar", archive);
    TVoskUnRar c;
    TFullLog log;
    log.Attach(c);
    c.PrepareListing(archive.string());
    TVoskUnRarAccess::WaitForPrepared(c);
    // Same size, other content: a copy of another archive cut to fit.
    std::string other = ReadAll(DataDir() + "/ten.rar");
    other.resize(fs::file_size(archive), '\0');
    WriteAll(archive, other);
    c.FileName = archive.string();
    c.SetMode(TVoskRarMode::VOSKRAR_LIST);
    c.ProcessArchive();
    EXPECT_FALSE(c.Replayed());
    EXPECT_EQ(log.lines, List(archive.string(), "", "", false).lines);
}

// A listing that met no hard link or copy lets the next extraction forget
// what it writes; a listing that met one, or an archive replaced since,
// must not: its links are made as on a first run.
TEST_F(EngineTest, HardLinksAndCopiesAreMadeWhateverTheListingBeforeSaw)
{
    struct TCase {
        const char* listed;     // listed first, through a walk made ahead
        const char* extracted;  // what the file holds when it is extracted
        const char* link;
    };
    for (const TCase& t :
         {TCase{"hardlink.rar", "hardlink.rar", "hard.txt"}, TCase{"filecopy.rar", "filecopy.rar", "copy.txt"},
          TCase{"plain.rar", "hardlink.rar", "hard.txt"}, TCase{"plain.rar", "filecopy.rar", "copy.txt"}}) {
        SCOPED_TRACE(std::string(t.listed) + " then " + t.extracted);
        const fs::path archive = root / "a.rar";
        fs::remove(archive);
        fs::copy_file(DataDir() + "/" + t.listed, archive);
        const fs::path out = fs::path(Out()) / t.link;
        fs::remove_all(out.parent_path());
        fs::create_directories(out.parent_path());
        TVoskUnRar c;
        std::vector<std::string> errors;
        c.OnError = [&](TVoskUnRar&, const std::string& m, int32_t) { errors.push_back(m); };
        c.PrepareListing(archive.string());
        c.FileName = archive.string();
        c.SetMode(TVoskRarMode::VOSKRAR_LIST);
        c.ProcessArchive();
        EXPECT_TRUE(c.Replayed());
        if (std::string(t.listed) != t.extracted) {
            // Another archive under the same name, of whatever size and time.
            const fs::path other = root / "other.rar";
            fs::remove(other);
            fs::copy_file(DataDir() + "/" + t.extracted, other);
            fs::rename(other, archive);
        }
        c.Directory = out.parent_path().string();
        c.SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
        c.ProcessArchive();
        EXPECT_EQ(errors, std::vector<std::string>{});
        EXPECT_EQ(ReadAll(out), ReadAll(out.parent_path() / "a.txt"));
        if (std::string(t.link) == "hard.txt") {
            EXPECT_EQ(fs::hard_link_count(out), 2u);
        }
    }
}

TEST_F(EngineTest, AWalkServesOnlyTheFirstRunAndOnlyAListingOfItsArchive)
{
    const std::string plain = DataDir() + "/plain.rar";
    {
        TVoskUnRar c;
        c.PrepareListing(plain);
        c.FileName = DataDir() + "/ten.rar";  // another archive
        c.SetMode(TVoskRarMode::VOSKRAR_LIST);
        c.ProcessArchive();
        EXPECT_FALSE(c.Replayed());
        c.FileName = plain;  // the walk was dropped with the first run
        c.ProcessArchive();
        EXPECT_FALSE(c.Replayed());
        c.PrepareListing(plain);  // after a run it does nothing
        c.ProcessArchive();
        EXPECT_FALSE(c.Replayed());
    }
    {
        TVoskUnRar c;
        c.PrepareListing(plain);
        c.Password = "changed";
        c.FileName = plain;
        c.SetMode(TVoskRarMode::VOSKRAR_LIST);
        c.ProcessArchive();
        EXPECT_FALSE(c.Replayed());
    }
    {
        TVoskUnRar c;
        c.PrepareListing(plain);
        c.FileName = plain;
        c.Directory = Out();
        c.ProcessArchive();  // an extraction
        EXPECT_FALSE(c.Replayed());
        EXPECT_TRUE(fs::exists(fs::path(Out()) / "readme.txt"));
    }
    EXPECT_EQ(TListingRecorder::Running(), 0);
}

// The walk uses the library: it must be over before the library is freed,
// and it must not hold up the end of the program.
TEST_F(FakeEngineTest, DestroyingTheEngineEndsAndJoinsTheWalk)
{
    std::string text = "pause 5\n";
    for (int i = 0; i < 400; ++i)
        text += "header 0 name=f" + std::to_string(i) + "\nprocess 0\n";
    script(text.c_str());
    const fs::path archive = root / "slow.rar";
    WriteAll(archive, "Rar!");
    {
        TVoskUnRar c;
        c.PrepareListing(archive.string());
        usleep(50000);  // some reads in; the fake's log is not read meanwhile
        EXPECT_EQ(TListingRecorder::Running(), 1);
    }
    EXPECT_EQ(TListingRecorder::Running(), 0);
    const auto calls = Calls();
    EXPECT_LT(std::count(calls.begin(), calls.end(), "read -> 0"), 400);
    EXPECT_EQ(calls.back(), "close");
}

// A stop asked while the run waits for a slow walk ends the walk at once,
// and the run opens nothing itself.
TEST_F(FakeEngineTest, AStopWhileWaitingForTheWalkGivesTheWalkUp)
{
    script(SlowLibrary().c_str());
    const fs::path archive = root / "slow.rar";
    WriteAll(archive, "Rar!");
    TVoskUnRar c;
    TFullLog log;
    log.Attach(c);
    c.KeepAlive = [&c] { c.StopProcessing = true; };
    c.PrepareListing(archive.string());
    c.FileName = archive.string();
    c.SetMode(TVoskRarMode::VOSKRAR_LIST);
    c.ProcessArchive();
    EXPECT_EQ(TListingRecorder::Running(), 0);
    EXPECT_FALSE(c.Replayed());
    EXPECT_TRUE(log.lines.empty());
    const auto calls = Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& l) { return l.starts_with("open "); }),
              1);
    EXPECT_LT(std::count(calls.begin(), calls.end(), "read -> 0"), 150);
}
