// The end of the archive is checked: a cut-off archive is reported, a whole
// one (with its records, comment, padding or volumes) is not.
#include "engine_support.h"

#include "archive/ArchiveEnd.h"
#include "rar4_writer.h"

namespace {

const std::string UnexpectedEnd = "Brambold: Unexpected end of archive! 0";

std::string Cut(const std::string& bytes, long keep)
{
    return bytes.substr(0, keep < 0 ? bytes.size() + keep : keep);
}

// Offset of the `n`th (0-based) RAR5 file header block, for cuts inside one.
size_t Rar5FileHeaderOffset(const std::string& bytes, int n)
{
    size_t pos = 8;
    for (;;) {
        size_t p = pos + 4;
        auto vint = [&] {
            uint64_t v = 0;
            for (int shift = 0;; shift += 7) {
                const uint8_t b = static_cast<uint8_t>(bytes.at(p++));
                v |= uint64_t(b & 0x7F) << shift;
                if (!(b & 0x80))
                    return v;
            }
        };
        const uint64_t size = vint();
        const size_t body = p;
        const uint64_t type = vint();
        const uint64_t flags = vint();
        if (flags & 1)
            vint();
        const uint64_t data = (flags & 2) ? vint() : 0;
        if (type == 2 && n-- == 0)
            return pos;
        pos = body + size + data;
    }
}

enum class Ends {
    Whole,          // no error at all
    CutReported,    // "Unexpected end of archive!" in both passes
    Failed,         // some error in both passes: the library itself saw this cut
};

struct EndCase {
    const char* name;
    // Writes the archive under `folder` and gives the path to open.
    std::function<std::string(const fs::path& folder)> make;
    Ends ends;
};

std::string Copy(const fs::path& folder, const std::string& name, long keep = 0)
{
    const std::string bytes = ReadAll(DataDir() + "/" + name);
    const fs::path path = folder / name;
    WriteAll(path, keep ? Cut(bytes, keep) : bytes);
    return path.string();
}

std::string CutPlainAt(const fs::path& folder, std::function<size_t(const std::string&)> at)
{
    const std::string bytes = ReadAll(DataDir() + "/plain.rar");
    WriteAll(folder / "cut.rar", bytes.substr(0, at(bytes)));
    return (folder / "cut.rar").string();
}

std::string VolumeSet(const fs::path& folder, long keepOfLast)
{
    Copy(folder, "volumes_1.rar");
    Copy(folder, "volumes_2.rar");
    Copy(folder, "volumes_3.rar", keepOfLast);
    return (folder / "volumes_1.rar").string();
}

std::string Rar4(const fs::path& folder, long keep)
{
    std::vector<rar4::Entry> entries;
    for (const char* name : {"one.txt", "two.txt", "three.txt"})
        entries.push_back({.name = name, .data = std::string(300, name[1]), .declaredSize = {}});
    const std::string bytes = rar4::WriteArchive(entries);
    WriteAll(folder / "four.rar", keep ? Cut(bytes, keep) : bytes);
    return (folder / "four.rar").string();
}

const EndCase EndCases[] = {
    {"Rar5Whole", [](const fs::path& f) { return Copy(f, "plain.rar"); }, Ends::Whole},
    {"Rar5Solid", [](const fs::path& f) { return Copy(f, "solid.rar"); }, Ends::Whole},
    {"Rar5WithoutEntries", [](const fs::path& f) { return Copy(f, "empty.rar"); }, Ends::Whole},
    {"RecoveryQuickOpenAndComment", [](const fs::path& f) { return Copy(f, "records.rar"); }, Ends::Whole},
    {"Rar5VolumesWithZeroPadding", [](const fs::path& f) { return VolumeSet(f, 0); }, Ends::Whole},
    {"Rar4Whole", [](const fs::path& f) { return Rar4(f, 0); }, Ends::Whole},
    {"Rar4OldStyleVolumes",
     [](const fs::path& f) {
         for (const char* n : {"rar4_volumes.rar", "rar4_volumes.r00", "rar4_volumes.r01"})
             Copy(f, n);
         return (f / "rar4_volumes.rar").string();
     },
     Ends::Whole},
    {"Rar5CutInsideTheMainHeader", [](const fs::path& f) { return CutPlainAt(f, [](auto&) { return 14; }); }, Ends::CutReported},
    {"Rar5CutInsideTheSecondFileHeader",
     [](const fs::path& f) { return CutPlainAt(f, [](auto& b) { return Rar5FileHeaderOffset(b, 1) + 9; }); }, Ends::CutReported},
    {"Rar5CutBetweenTwoEntries",
     [](const fs::path& f) { return CutPlainAt(f, [](auto& b) { return Rar5FileHeaderOffset(b, 3); }); }, Ends::CutReported},
    {"Rar5CutInsideTheData", [](const fs::path& f) { return Copy(f, "truncated.rar"); }, Ends::Failed},
    {"Rar5CutBeforeTheEndBlock", [](const fs::path& f) { return Copy(f, "plain.rar", -8); }, Ends::CutReported},
    {"Rar5OneByteShort", [](const fs::path& f) { return Copy(f, "plain.rar", -1); }, Ends::CutReported},
    {"LastVolumeOneByteShort", [](const fs::path& f) { return VolumeSet(f, 15885 - 1); }, Ends::CutReported},
    {"Rar4OneByteShort", [](const fs::path& f) { return Rar4(f, -1); }, Ends::Failed},
    {"Rar4CutInsideAHeader", [](const fs::path& f) { return Rar4(f, 7 + 13 + 20); }, Ends::Failed},
    {"Rar4CutInsideTheData", [](const fs::path& f) { return Rar4(f, 7 + 13 + 40 + 100); }, Ends::Failed},
};

class EndCheckTest : public EngineTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndCheckTest, ReportsACutOnlyWhenThereIsOne)
{
    const std::string archive = GetParam().make(root);
    for (TVoskRarMode mode : {TVoskRarMode::VOSKRAR_LIST, TVoskRarMode::VOSKRAR_EXTRACT}) {
        TVoskUnRar c;
        TEventLog events;
        events.Attach(c);
        c.SetMode(mode);
        c.CanProgress = true;
        c.FileName = archive;
        c.Directory = Out();
        c.ProcessArchive();
        const char* pass = mode == TVoskRarMode::VOSKRAR_LIST ? "list" : "extract";
        std::string all;
        for (const auto& e : events.errors)
            all += e + "; ";
        switch (GetParam().ends) {
        case Ends::Whole:
            EXPECT_TRUE(events.errors.empty()) << pass << ": " << all;
            break;
        case Ends::CutReported:
            EXPECT_NE(std::find(events.errors.begin(), events.errors.end(), UnexpectedEnd), events.errors.end())
                << pass << ": " << all;
            break;
        case Ends::Failed:
            EXPECT_FALSE(events.errors.empty()) << pass;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, EndCheckTest, ::testing::ValuesIn(EndCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Every cut of a whole archive is told from the archive itself, at any byte.
TEST(ArchiveEnd, EveryCutOfARar5ArchiveIsACut)
{
    const std::string bytes = ReadAll(DataDir() + "/comment.rar");
    const fs::path path = fs::temp_directory_path() / ("brambold_cuts_" + std::to_string(getpid()) + ".rar");
    WriteAll(path, bytes);
    EXPECT_EQ(CheckArchiveEnd(path.string()), TArchiveEnd::Complete);
    for (size_t keep = 8; keep < bytes.size(); ++keep) {
        WriteAll(path, bytes.substr(0, keep));
        ASSERT_EQ(CheckArchiveEnd(path.string()), TArchiveEnd::Cut) << keep;
    }
    fs::remove(path);
}

TEST(ArchiveEnd, CannotTellBehindEncryptedHeadersOrWithoutASignature)
{
    EXPECT_EQ(CheckArchiveEnd(DataDir() + "/headers_password.rar"), TArchiveEnd::CannotTell);
    EXPECT_EQ(CheckArchiveEnd(DataDir() + "/README.md"), TArchiveEnd::CannotTell);
    EXPECT_EQ(CheckArchiveEnd(DataDir() + "/no such file.rar"), TArchiveEnd::CannotTell);
    // The end block of a volume that is not the last says another follows.
    EXPECT_EQ(CheckArchiveEnd(DataDir() + "/volumes_2.rar"), TArchiveEnd::Cut);
}

}  // namespace
