// A second handle unpacks small entries ahead of the run: every entry still
// gets the same bytes and the same result as from the library alone, and
// anything out of the ordinary is left to the run's own handle.
#include <cstring>
#include <map>
#include <optional>

#include "archive/library/DecodeAhead.h"
#include "engine_support.h"

namespace {

// What a pass made of one entry.
struct TEntryOutcome {
    int read = 0;
    int result = 0;
    std::string data;
    bool operator==(const TEntryOutcome&) const = default;
};

struct TPass {
    std::vector<TEntryOutcome> entries;
    uint32_t taken = 0;
};

struct TSink {
    std::string* data = nullptr;
    int refuseAfter = -1;  // chunks accepted before a refusal, as a stop does
    int chunks = 0;
};

int Collect(UINT msg, LPARAM userData, LPARAM p1, LPARAM p2)
{
    auto* sink = reinterpret_cast<TSink*>(userData);
    if (msg != UCM_PROCESSDATA)
        return -1;
    if (sink->refuseAfter >= 0 && sink->chunks++ >= sink->refuseAfter)
        return -1;
    sink->data->append(reinterpret_cast<const char*>(p1), static_cast<size_t>(p2));
    return 0;
}

// Tests every entry of `archive`. With `ahead`, the walk is stepped before
// each entry until it can do no more, so it is as far ahead as it may be.
// `stopAt`: the entry whose data the callback refuses.
TPass Walk(const std::string& archive, bool ahead, int stopAt = -1)
{
    TAheadCalls calls;
    calls.SetAheadOn(ahead);
    std::vector<char> name(archive.begin(), archive.end());
    name.push_back('\0');
    RAROpenArchiveData open{};
    open.ArcName = name.data();
    open.OpenMode = RAR_OM_EXTRACT;
    EXPECT_TRUE(calls.Open(open));
    TSink sink;
    calls.SetCallback(&Collect, reinterpret_cast<LPARAM>(&sink));
    auto header = std::make_unique<RARHeaderDataEx>();
    TPass pass;
    for (int i = 0; i < 5000; ++i) {
        TEntryOutcome e;
        e.read = calls.ReadHeader(*header);
        if (e.read == ERAR_END_ARCHIVE)
            break;
        if (ahead)
            for (int step = 0; step < 10000 && calls.StepAhead(); ++step) {
            }
        if (e.read == ERAR_SUCCESS) {
            sink.data = &e.data;
            sink.chunks = 0;
            sink.refuseAfter = i == stopAt ? 0 : -1;
            e.result = calls.ProcessFile(RAR_TEST, nullptr, nullptr);
        }
        pass.entries.push_back(e);
        if (e.read != ERAR_SUCCESS || e.result != ERAR_SUCCESS)
            break;
    }
    pass.taken = calls.Taken();
    calls.Close();
    return pass;
}

class DecodeAhead : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        untUnRar::LoadUnRarLibrary();
        ASSERT_TRUE(untUnRar::UnRarLoaded);
    }
    void TearDown() override
    {
        untUnRar::FreeUnRarLibrary();
        EngineTest::TearDown();
    }

    // An archive made by rar of `count` small text files, each different,
    // with a folder, a stored file and a link among them.
    std::string MakeArchive(int count, const std::string& options)
    {
        const fs::path tree = root / "tree";
        fs::create_directories(tree / "sub");
        for (int i = 0; i < count; ++i) {
            std::string text;
            for (int line = 0; line <= i % 40; ++line)
                text += "file " + std::to_string(i) + " line " + std::to_string(line) + " of some text\n";
            WriteAll(tree / (i % 7 == 0 ? "sub" : ".") / ("f" + std::to_string(i) + ".txt"), text);
        }
        fs::create_symlink("f1.txt", tree / "link");
        const std::string archive = (root / "case.rar").string();
        const std::string command = "cd '" + tree.string() + "' && rar a -idq -ol -r " + options + " '" + archive +
                                    "' .";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return archive;
    }
};

}  // namespace

TEST_F(DecodeAhead, HandsEveryEntryTheLibrarysOwnBytesAndResults)
{
    // The rar at hand writes only the newer format.
    const std::string archive = MakeArchive(300, "-ma5");
    const TPass alone = Walk(archive, false);
    const TPass ahead = Walk(archive, true);
    ASSERT_GE(alone.entries.size(), 302u);
    EXPECT_EQ(ahead.entries, alone.entries);
    EXPECT_EQ(alone.taken, 0u);
    // One small entry in three after the first few comes from the walk.
    EXPECT_GT(ahead.taken, 60u);
}

TEST_F(DecodeAhead, LeavesSolidEncryptedAndDamagedEntriesToTheRunsHandle)
{
    // Solid: nothing stands alone.
    const TPass solid = Walk(MakeArchive(120, "-ma5 -s"), true);
    EXPECT_EQ(solid.taken, 0u);
    EXPECT_EQ(solid.entries, Walk((root / "case.rar").string(), false).entries);
    fs::remove_all(root / "tree");
    fs::remove(root / "case.rar");

    // Encrypted data: the run's handle asks for the password, and the walk
    // never does; the callback here refuses, so the first one fails alike.
    const std::string locked = MakeArchive(120, "-ma5 -psecret");
    const TPass lockedAhead = Walk(locked, true);
    EXPECT_EQ(lockedAhead.taken, 0u);
    EXPECT_EQ(lockedAhead.entries, Walk(locked, false).entries);
    fs::remove_all(root / "tree");
    fs::remove(locked);

    // A byte changed in the data of a late entry: the same entries come out
    // whole and the same one fails, with the library's own result.
    const std::string damaged = MakeArchive(300, "-ma5");
    std::string bytes = ReadAll(damaged);
    const size_t at = bytes.size() * 9 / 10;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
    WriteAll(damaged, bytes);
    const TPass alone = Walk(damaged, false);
    const TPass ahead = Walk(damaged, true);
    EXPECT_EQ(ahead.entries, alone.entries);
    ASSERT_FALSE(alone.entries.empty());
    EXPECT_NE(alone.entries.back().read == ERAR_SUCCESS ? alone.entries.back().result : alone.entries.back().read,
              ERAR_SUCCESS);
    EXPECT_GT(ahead.taken, 0u);
}

TEST_F(DecodeAhead, ARefusedEntryGetsTheLibrarysOwnAnswer)
{
    const std::string archive = MakeArchive(300, "-ma5");
    // Entries late enough that the walk has unpacked some around them.
    for (const int stopAt : {200, 201, 202}) {
        const TPass alone = Walk(archive, false, stopAt);
        const TPass ahead = Walk(archive, true, stopAt);
        EXPECT_EQ(ahead.entries, alone.entries) << stopAt;
        ASSERT_EQ(alone.entries.size(), static_cast<size_t>(stopAt + 1));
        EXPECT_NE(alone.entries.back().result, ERAR_SUCCESS);
    }
}
