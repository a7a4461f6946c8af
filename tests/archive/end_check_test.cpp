// The end of the archive is checked: a cut-off archive is reported, a whole
// one (with its records, comment, padding or volumes) is not.
#include <fstream>

#include "engine_support.h"

#include "archive/endcheck/ArchiveEnd.h"
#include "rar4_writer.h"
#include "test_support.h"

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
    Whole,        // no error at all
    CutReported,  // "Unexpected end of archive!" in both passes
    Failed,       // some error in both passes: the library itself saw this cut
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
    {"Rar5CutInsideTheMainHeader", [](const fs::path& f) { return CutPlainAt(f, [](auto&) { return 14; }); },
     Ends::CutReported},
    {"Rar5CutInsideTheSecondFileHeader",
     [](const fs::path& f) { return CutPlainAt(f, [](auto& b) { return Rar5FileHeaderOffset(b, 1) + 9; }); },
     Ends::CutReported},
    {"Rar5CutBetweenTwoEntries",
     [](const fs::path& f) { return CutPlainAt(f, [](auto& b) { return Rar5FileHeaderOffset(b, 3); }); },
     Ends::CutReported},
    {"Rar5CutInsideTheData", [](const fs::path& f) { return Copy(f, "truncated.rar"); }, Ends::Failed},
    {"Rar5CutBeforeTheEndBlock", [](const fs::path& f) { return Copy(f, "plain.rar", -8); }, Ends::CutReported},
    {"Rar5OneByteShort", [](const fs::path& f) { return Copy(f, "plain.rar", -1); }, Ends::CutReported},
    {"LastVolumeOneByteShort", [](const fs::path& f) { return VolumeSet(f, 15885 - 1); }, Ends::CutReported},
    {"Rar4OneByteShort", [](const fs::path& f) { return Rar4(f, -1); }, Ends::Failed},
    {"Rar4CutInsideAHeader", [](const fs::path& f) { return Rar4(f, 7 + 13 + 20); }, Ends::Failed},
    {"Rar4CutInsideTheData", [](const fs::path& f) { return Rar4(f, 7 + 13 + 40 + 100); }, Ends::Failed},
    {"Rar4NewNumberingLastVolumeWithoutEndBlock",
     [](const fs::path& f) {
         Copy(f, "rar4_numbered_1.rar");
         Copy(f, "rar4_numbered_2.rar");
         Copy(f, "rar4_numbered_3.rar", -7);
         return (f / "rar4_numbered_1.rar").string();
     },
     Ends::CutReported},
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

// A listing and an extraction of one archive walk its headers once between
// them, but an archive cut after the listing is walked afresh: its cut must
// not pass for the whole archive the listing saw.
TEST_F(EngineTest, AnArchiveCutAfterItsListingIsCheckedAgain)
{
    const fs::path archive = root / "a.rar";
    fs::copy_file(DataDir() + "/plain.rar", archive);
    TVoskUnRar c;
    TEventLog events;
    events.Attach(c);
    c.PrepareListing(archive.string());
    c.FileName = archive.string();
    c.SetMode(TVoskRarMode::VOSKRAR_LIST);
    c.ProcessArchive();
    ASSERT_TRUE(c.Replayed());
    EXPECT_TRUE(events.errors.empty());

    fs::resize_file(archive, fs::file_size(archive) - 1);
    c.SetMode(TVoskRarMode::VOSKRAR_EXTRACT);
    c.Directory = Out();
    c.ProcessArchive();
    EXPECT_NE(std::find(events.errors.begin(), events.errors.end(), UnexpectedEnd), events.errors.end());
}

// A kept answer stands only for the same file, unchanged, and the same
// password: rewritten in place at the same size, the file is walked again.
TEST(ArchiveEnd, AKeptAnswerStandsOnlyForTheFileAsItWas)
{
    const std::string whole = ReadAll(DataDir() + "/plain.rar");
    const fs::path path = fs::temp_directory_path() / ("brambold_kept_" + std::to_string(getpid()) + ".rar");
    WriteAll(path, whole);
    std::optional<TKnownEnd> known;
    EXPECT_EQ(CheckArchiveEnd(path.string(), "", known), TArchiveEnd::Complete);
    ASSERT_TRUE(known);
    EXPECT_EQ(CheckArchiveEnd(path.string(), "", known), TArchiveEnd::Complete);

    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(whole.size() - 8));
        file.write("\0\0\0\0\0\0\0\0", 8);
    }
    ASSERT_EQ(fs::file_size(path), whole.size());
    EXPECT_EQ(CheckArchiveEnd(path.string(), "", known), TArchiveEnd::Cut);
    EXPECT_EQ(CheckArchiveEnd(path.string(), "another", known), TArchiveEnd::Cut);
    EXPECT_EQ(known->password, "another");
    fs::remove(path);
}

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

// The archives' own end, told straight from the file, with and without the
// run's password: headers encrypted with -hp are walked when it is right.
struct PasswordEndCase {
    const char* name;
    const char* archive;  // in tests/data
    long keep;            // bytes kept: 0 all, below 0 that many fewer; or from `at`
    std::function<long(const std::string& bytes)> at;
    std::string password;
    TArchiveEnd expected;
};

// Where the first block after the signature ends: for -hp RAR5 archives the
// archive encryption header, the last one in the clear.
long Rar5FirstBlockEnd(const std::string& bytes)
{
    size_t p = 12;
    uint64_t size = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t b = static_cast<uint8_t>(bytes.at(p++));
        size |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    return static_cast<long>(p + size);
}

constexpr long Rar4MainEnd = 7 + 13;  // marker and main header of our writer
// A RAR5 block encrypted: IV and one AES block for a short header; RAR4: salt and one AES block.
constexpr long Rar5SealedEnd = 16 + 16;
constexpr long Rar4SealedEnd = 8 + 16;

const PasswordEndCase PasswordEndCases[] = {
    // RAR5, made by rar -hpPASSWORD: three files and a comment.
    {"Rar5HpWhole", "hp5.rar", 0, {}, "PASSWORD", TArchiveEnd::Complete},
    {"Rar5HpWrongPassword", "hp5.rar", 0, {}, "password", TArchiveEnd::CannotTell},
    {"Rar5HpWithoutPassword", "hp5.rar", 0, {}, "", TArchiveEnd::CannotTell},
    // rar and the library keep 127 characters of a longer password.
    {"Rar5HpLongPassword", "hp5_long.rar", 0, {}, std::string(150, 'q'), TArchiveEnd::Complete},
    {"Rar5HpLongPasswordCut", "hp5_long.rar", -1, {}, std::string(150, 'q'), TArchiveEnd::Cut},
    {"Rar5HpOlderSetWithThePassword", "headers_password.rar", 0, {}, "secret", TArchiveEnd::Complete},
    {"Rar5HpCutInsideTheEncryptionHeader", "hp5.rar", 30, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpCutRightAfterTheEncryptionHeader", "hp5.rar", 0, Rar5FirstBlockEnd, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpCutInsideTheFirstIv", "hp5.rar", 0, [](auto& b) { return Rar5FirstBlockEnd(b) + 9; }, "PASSWORD",
     TArchiveEnd::Cut},
    {"Rar5HpCutInsideTheMainHeader", "hp5.rar", 0, [](auto& b) { return Rar5FirstBlockEnd(b) + 16 + 7; }, "PASSWORD",
     TArchiveEnd::Cut},
    {"Rar5HpCutAfterTheMainHeader", "hp5.rar", 0, [](auto& b) { return Rar5FirstBlockEnd(b) + Rar5SealedEnd; },
     "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpCutInTheMiddle", "hp5.rar", 0, [](auto& b) { return long(b.size() / 2); }, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpCutBeforeTheEndBlock", "hp5.rar", -Rar5SealedEnd, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpCutInsideTheEndBlock", "hp5.rar", -5, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpOneByteShort", "hp5.rar", -1, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpCutWithAWrongPassword", "hp5.rar", -1, {}, "password", TArchiveEnd::CannotTell},
    {"Rar5HpCutWithoutPassword", "hp5.rar", -1, {}, "", TArchiveEnd::CannotTell},
    {"Rar5HpNotTheLastVolume", "hp5_volumes_1.rar", 0, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpLastVolume", "hp5_volumes_3.rar", 0, {}, "PASSWORD", TArchiveEnd::Complete},
    {"Rar5HpLastVolumeWithoutEndBlock", "hp5_volumes_3.rar", -Rar5SealedEnd, {}, "PASSWORD", TArchiveEnd::Cut},
    // Without a check value only the first header's CRC tells the password.
    {"Rar5HpNoCheckValueWhole", "hp5_nocheck.rar", 0, {}, "PASSWORD", TArchiveEnd::Complete},
    {"Rar5HpNoCheckValueWrongPassword", "hp5_nocheck.rar", 0, {}, "password", TArchiveEnd::CannotTell},
    {"Rar5HpNoCheckValueCutInsideTheMainHeader", "hp5_nocheck.rar", 0,
     [](auto& b) { return Rar5FirstBlockEnd(b) + 16 + 7; }, "PASSWORD", TArchiveEnd::Cut},
    {"Rar5HpNoCheckValueOneByteShort", "hp5_nocheck.rar", -1, {}, "PASSWORD", TArchiveEnd::Cut},

    // RAR 2.9-4.x with encrypted headers, from our writer (password PASSWORD).
    {"Rar4HpWhole", "rar4_hp.rar", 0, {}, "PASSWORD", TArchiveEnd::Complete},
    {"Rar4HpWrongPassword", "rar4_hp.rar", 0, {}, "password", TArchiveEnd::CannotTell},
    {"Rar4HpWithoutPassword", "rar4_hp.rar", 0, {}, "", TArchiveEnd::CannotTell},
    {"Rar4HpCutInsideTheFirstSalt", "rar4_hp.rar", Rar4MainEnd + 5, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar4HpCutInsideTheFirstHeader", "rar4_hp.rar", Rar4MainEnd + 8 + 20, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar4HpCutInTheMiddle", "rar4_hp.rar", 0, [](auto& b) { return long(b.size() / 2); }, "PASSWORD",
     TArchiveEnd::Cut},
    {"Rar4HpCutInsideTheEndBlock", "rar4_hp.rar", -3, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar4HpCutInsideTheFirstHeaderWithAWrongPassword",
     "rar4_hp.rar",
     Rar4MainEnd + 8 + 20,
     {},
     "password",
     TArchiveEnd::CannotTell},
    {"Rar4HpCutWithAWrongPassword", "rar4_hp.rar", -3, {}, "password", TArchiveEnd::CannotTell},
    // Archives without end blocks stop on a block boundary too.
    {"Rar4HpCutOnABlockBoundary", "rar4_hp.rar", -Rar4SealedEnd, {}, "PASSWORD", TArchiveEnd::CannotTell},

    // RAR4 volumes: with new numbering an end block is always written.
    {"Rar4NewNumberingLastVolume", "rar4_numbered_3.rar", 0, {}, "", TArchiveEnd::Complete},
    {"Rar4NewNumberingNotTheLastVolume", "rar4_numbered_1.rar", 0, {}, "", TArchiveEnd::Cut},
    {"Rar4NewNumberingLastVolumeWithoutEndBlock", "rar4_numbered_3.rar", -7, {}, "", TArchiveEnd::Cut},
    {"Rar4NewNumberingFirstVolumeWithoutEndBlock", "rar4_numbered_1.rar", -7, {}, "", TArchiveEnd::Cut},
    {"Rar4OldNumberingLastVolumeWithoutEndBlock", "rar4_volumes.r01", -7, {}, "", TArchiveEnd::CannotTell},
    {"Rar4HpNewNumberingLastVolume", "rar4_hp_volumes_3.rar", 0, {}, "PASSWORD", TArchiveEnd::Complete},
    {"Rar4HpNewNumberingNotTheLastVolume", "rar4_hp_volumes_2.rar", 0, {}, "PASSWORD", TArchiveEnd::Cut},
    {"Rar4HpNewNumberingLastVolumeWithoutEndBlock",
     "rar4_hp_volumes_3.rar",
     -Rar4SealedEnd,
     {},
     "PASSWORD",
     TArchiveEnd::Cut},
};

class PasswordEndTest : public ::testing::TestWithParam<PasswordEndCase> {};

TEST_P(PasswordEndTest, TellsTheEndFromTheHeaders)
{
    const PasswordEndCase& c = GetParam();
    const std::string bytes = ReadAll(DataDir() + "/" + c.archive);
    ASSERT_FALSE(bytes.empty()) << c.archive;
    const long keep = c.at ? c.at(bytes) : c.keep;
    TempFolder tmp;
    const std::string path = tmp.File(c.archive);
    WriteAll(path, keep ? Cut(bytes, keep) : bytes);
    EXPECT_EQ(CheckArchiveEnd(path, c.password), c.expected) << "kept " << keep << " of " << bytes.size();
}

INSTANTIATE_TEST_SUITE_P(Archives, PasswordEndTest, ::testing::ValuesIn(PasswordEndCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Cuts spread over the whole of each encrypted archive, headers and data alike.
TEST(ArchiveEnd, CutsAllOverAnEncryptedArchiveAreCuts)
{
    TempFolder tmp;
    for (const char* name : {"hp5.rar", "rar4_hp.rar"}) {
        const std::string bytes = ReadAll(DataDir() + "/" + name);
        const std::string path = tmp.File(name);
        for (size_t keep = 8; keep < bytes.size(); keep += 29) {
            WriteAll(path, bytes.substr(0, keep));
            const TArchiveEnd end = CheckArchiveEnd(path, "PASSWORD");
            // RAR4 cannot tell a cut on a block boundary from an archive without end block.
            if (end != TArchiveEnd::CannotTell || std::string(name) != "rar4_hp.rar") {
                EXPECT_EQ(end, TArchiveEnd::Cut) << name << " kept " << keep;
            }
        }
    }
}

// Passwords whose key scheme goes through RAR 2.9's rewriting of its buffer,
// and one beyond the basic plane; the library reads each of these archives.
TEST(ArchiveEnd, Rar4PasswordsOfEveryKindOpenTheHeaders)
{
    TempFolder tmp;
    for (const std::string& password :
         {std::string(29, 'p'), std::string("Grüße😀日本"),
          std::string("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_")}) {
        const std::string bytes = rar4::WriteArchive({{.name = "a.txt", .data = "alpha\n", .declaredSize = {}}},
                                                     {.headerPassword = password});
        WriteAll(tmp.File("a.rar"), bytes);
        EXPECT_EQ(CheckArchiveEnd(tmp.File("a.rar"), password), TArchiveEnd::Complete) << password;
        WriteAll(tmp.File("a.rar"), bytes.substr(0, bytes.size() - 1));
        EXPECT_EQ(CheckArchiveEnd(tmp.File("a.rar"), password), TArchiveEnd::Cut) << password;
    }
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
