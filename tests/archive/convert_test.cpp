// The header record as the component reports it, and the helpers behind it.
#include "engine_support.h"

#include <cstring>
#include <random>

#include "archive/VoskConvert.h"

namespace {

void SetName(RARHeaderDataEx& h, const wchar_t* name)
{
    std::wcsncpy(h.FileNameW, name, std::size(h.FileNameW) - 1);
}

}  // namespace

// One header record filled by hand, converted as a run converts each
// header it reads, into the same record each time.
class ConvertHeaderTest : public EngineTest {
protected:
    RARHeaderDataEx& Header() { return header; }
    const TVoskRARHeaderData& Convert()
    {
        ConvertHeader(header, WideToUtf8(header.FileNameW, std::size(header.FileNameW)), data);
        return data;
    }

    RARHeaderDataEx header{};
    TVoskRARHeaderData data;
};

TEST_F(ConvertHeaderTest, FlagsSizesChecksumAndVersion)
{
    RARHeaderDataEx& h = Header();
    SetName(h, L"docs/Müller 日本.txt");
    std::strcpy(h.ArcName, "/tmp/a.rar");
    h.Flags = RHDF_SPLITBEFORE | RHDF_ENCRYPTED | RHDF_DIRECTORY;
    h.DictSize = 4 * 1024 * 1024;  // KiB: a 4 GiB dictionary
    h.PackSize = 1;
    h.PackSizeHigh = 1;
    h.UnpSize = 0x40000000;
    h.UnpSizeHigh = 1;
    h.FileCRC = 0xABCD;
    h.UnpVer = 29;
    const TVoskRARHeaderData& d = Convert();
    EXPECT_EQ(d.ArcName, "/tmp/a.rar");
    EXPECT_EQ(d.FileName, "docs/Müller 日本.txt");
    EXPECT_TRUE(d.ContinuedPrev);
    EXPECT_FALSE(d.ContinuedNext);
    EXPECT_TRUE(d.Encrypted);
    EXPECT_TRUE(d.IsDirectory);
    EXPECT_EQ(d.DicSize, int64_t{4} << 30);
    EXPECT_EQ(d.PackSize, 0x100000001ull);
    EXPECT_EQ(d.UnpSize, 5ull << 30);  // 5 GiB: nothing cut at 4 GiB
    EXPECT_EQ(d.CRC, "ABCD");
    EXPECT_EQ(d.Major, 2u);
    EXPECT_EQ(d.Minor, 9u);

    h.Flags = 0xC0;  // the old dictionary bits mean nothing to this library
    h.FileCRC = 0;
    h.UnpVer = 20;
    EXPECT_FALSE(Convert().IsDirectory);
    EXPECT_EQ(Convert().CRC, "0");
    EXPECT_EQ(Convert().Major, 2u);
    EXPECT_EQ(Convert().Minor, 0u);
}

TEST_F(ConvertHeaderTest, UnknownHostAndMethodKeepThePreviousText)
{
    RARHeaderDataEx& h = Header();
    h.HostOS = 5;
    h.Method = 0x29;
    EXPECT_EQ(Convert().HostOS, "");
    EXPECT_EQ(Convert().Method, "");
    h.HostOS = 1;
    h.Method = 0x35;
    EXPECT_EQ(Convert().HostOS, "IBM OS/2");
    EXPECT_EQ(Convert().Method, "best");
    h.HostOS = 5;
    h.Method = 0x36;
    EXPECT_EQ(Convert().HostOS, "IBM OS/2");
    EXPECT_EQ(Convert().Method, "best");
}

TEST_F(ConvertHeaderTest, DosStampIsLocalCalendarTime)
{
    RARHeaderDataEx& h = Header();
    // 2024-05-17 12:34:56 is day 45429 after 1899-12-30.
    h.FileTime = 0x58B1645C;
    EXPECT_DOUBLE_EQ(Convert().Time, 45429.0 + (12 * 3600 + 34 * 60 + 56) / 86400.0);
    h.FileTime = (1u << 5 | 1) << 16;  // 1980-01-01 00:00:00
    EXPECT_DOUBLE_EQ(Convert().Time, 29221.0);
    h.FileTime = 0;  // month 0: no date at all
    EXPECT_DOUBLE_EQ(Convert().Time, 0.0);
}

// The record of a walk made ahead keeps only the listed fields and the two
// names; a field the conversion reads beyond them would differ in a replay.
TEST(ConvertedFields, AreEveryFieldTheConversionReads)
{
    std::mt19937 random(20261209);
    for (int round = 0; round < 500; ++round) {
        RARHeaderDataEx full;
        auto* bytes = reinterpret_cast<unsigned char*>(&full);
        for (size_t i = 0; i < sizeof full; ++i)
            bytes[i] = static_cast<unsigned char>(random());
        full.HostOS = random() % 6;  // every host text, and codes without one
        full.Method = 0x2F + random() % 8;
        full.ArcName[sizeof full.ArcName - 1] = '\0';
        for (size_t i = 0; i < std::size(full.FileNameW); ++i)
            full.FileNameW[i] = static_cast<wchar_t>(random() % 3 == 0 ? L'.' : L'a' + random() % 26);
        full.FileNameW[random() % std::size(full.FileNameW)] = L'\0';

        RARHeaderDataEx kept{};
        for (const auto field : ConvertedFields)
            kept.*field = full.*field;
        std::memcpy(kept.ArcName, full.ArcName, sizeof kept.ArcName);
        std::memcpy(kept.FileNameW, full.FileNameW, sizeof kept.FileNameW);

        const std::string name = WideToUtf8(full.FileNameW, std::size(full.FileNameW));
        TVoskRARHeaderData fromFull, fromKept;
        ConvertHeader(full, name, fromFull);
        ConvertHeader(kept, name, fromKept);
        ASSERT_EQ(fromFull, fromKept) << "round " << round;
    }
}

struct TAttrCase {
    const char* name;
    unsigned host;
    unsigned attr;
    const wchar_t* file;
    const char* letters;  // A C D H N O R S T, '-' where clear
};

void PrintTo(const TAttrCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConvertAttrTest : public ConvertHeaderTest, public ::testing::WithParamInterface<TAttrCase> {};

TEST_P(ConvertAttrTest, Letters)
{
    const TAttrCase& p = GetParam();
    Header().HostOS = p.host;
    Header().FileAttr = p.attr;
    SetName(Header(), p.file);
    const TVoskRARHeaderData& d = Convert();
    const bool flags[] = {d.AttrArchive, d.AttrCompressed, d.AttrDirectory, d.AttrHidden,   d.AttrNormal,
                          d.AttrOffline, d.AttrReadOnly,   d.AttrSystem,    d.AttrTemporary};
    std::string letters;
    for (size_t i = 0; i < std::size(flags); ++i)
        letters += flags[i] ? "ACDHNORST"[i] : '-';
    EXPECT_EQ(letters, p.letters);
}

INSTANTIATE_TEST_SUITE_P(
    Convert, ConvertAttrTest,
    ::testing::Values(TAttrCase{"WindowsBitsEachToItsLetter", 2, 0x20 | 0x800 | 0x10 | 0x02, L"a", "ACDH-----"},
                      TAttrCase{"WindowsRemainingBits", 2, 0x80 | 0x1000 | 0x01 | 0x04 | 0x100, L"a", "----NORST"},
                      TAttrCase{"UnixPlainFileIsNormal", 3, 0100644, L"dir/a.txt", "----N----"},
                      TAttrCase{"UnixFolder", 3, 040755, L"dir", "--D------"},
                      TAttrCase{"UnixOwnerCannotWrite", 3, 0100444, L"a.txt", "------R--"},
                      TAttrCase{"UnixDotNameIsHidden", 3, 0100644, L"dir/.profile", "---H-----"},
                      TAttrCase{"UnixDotFolderDoesNotHideItsFiles", 3, 0100644, L".git/config", "----N----"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TTargetCase {
    const char* name;
    const char* entry;
    const char* target;
};

void PrintTo(const TTargetCase& c, std::ostream* os)
{
    *os << c.name;
}

class TargetPathTest : public ::testing::TestWithParam<TTargetCase> {};

TEST_P(TargetPathTest, StaysBelowTheDestination)
{
    EXPECT_EQ(TargetPath("/dest", GetParam().entry), GetParam().target);
}

TEST(TargetPath, WithoutDestinationIsRelativeToTheCurrentFolder)
{
    EXPECT_EQ(TargetPath("", "../a/b.txt"), "a/b.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Convert, TargetPathTest,
    ::testing::Values(TTargetCase{"PlainNameIsJoined", "docs/a.txt", "/dest/docs/a.txt"},
                      TTargetCase{"AParentStepTakesBackTheFolderBefore", "a/../b/../c.txt", "/dest/c.txt"},
                      TTargetCase{"ParentStepsNeverClimbAbove", "a/../../b", "/dest/b"},
                      TTargetCase{"LeadingSlashesAndDotStepsGo", "//./../x/y", "/dest/x/y"},
                      TTargetCase{"AShareNameIsKeptAsFolders", "//host/share/x.txt", "/dest/host/share/x.txt"},
                      TTargetCase{"ThreeDotsAreAName", ".../x", "/dest/.../x"},
                      TTargetCase{"EmptyPartsGo", "a//b/", "/dest/a/b"},
                      TTargetCase{"ABareParentStepLeavesNoName", "..", "/dest/"},
                      TTargetCase{"DotNamesStay", ".hidden/..a", "/dest/.hidden/..a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextConversion, WideNamesBecomeUtf8AndCutsKeepSequencesWhole)
{
    const wchar_t wide[] = {L'a', 0xFC, 0x65E5, 0x1F600, 0xD800, 0x110000, 0};
    EXPECT_EQ(WideToUtf8(wide, std::size(wide)), "aü日😀\uFFFD\uFFFD");
    EXPECT_EQ(WideToUtf8(wide, 2), "aü");
    EXPECT_EQ(CutUtf8("aü日", 3), "aü");
    EXPECT_EQ(CutUtf8("aü日", 5), "aü");
    EXPECT_EQ(CutUtf8("aü日", 6), "aü日");
}

TEST(FileListTest, MatchesAnyLineIgnoringAsciiCaseOnly)
{
    TFileList list;
    list.Add("/d/Readme.TXT");
    list.Add("/d/Müller.txt");
    EXPECT_TRUE(list.ContainsIgnoringCase("/D/readme.txt"));
    EXPECT_TRUE(list.ContainsIgnoringCase("/d/MÜller.txt") == false);
    EXPECT_TRUE(list.ContainsIgnoringCase("/d/MüLLER.TXT"));
    EXPECT_EQ(list.Count(), 2u);
    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_FALSE(list.ContainsIgnoringCase("/d/readme.txt"));
}
