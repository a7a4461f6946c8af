// The writer's archives are only worth something if RARLAB's library reads
// them, so every case here goes through the library.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library_walk.h"
#include "rar4_writer.h"
#include "test_support.h"

namespace {

using rar4::Entry;
using rar4::HostOs;
using rar4::NameForm;

Entry MakeEntry(const std::string& name, const std::string& data, HostOs host, uint32_t attributes,
                NameForm form = NameForm::Auto)
{
    Entry e;
    e.name = name;
    e.data = data;
    e.host = host;
    e.attributes = attributes;
    e.dosTime = rar4::DosTime(2024, 5, 17, 12, 34, 56);
    e.nameForm = form;
    return e;
}

struct HeaderCase {
    const char* behaviour;
    Entry entry;
    std::string reportedName;  // as the library reports it
    unsigned flags;            // RHDF_* bits the library reports
    unsigned hostOS;
    unsigned attributes;
};

class LibraryReadsHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(LibraryReadsHeader, AndExtractsTheData)
{
    const HeaderCase& c = GetParam();
    TempFolder tmp;
    const std::string archive = tmp.File("a.rar");
    ASSERT_TRUE(rar4::WriteFile(archive, rar4::WriteArchive({c.entry})));

    const auto listed = WalkArchive(archive).entries;
    ASSERT_EQ(listed.size(), 1u);
    const RARHeaderDataEx& hd = listed[0].header;
    EXPECT_EQ(listed[0].name, c.reportedName);
    EXPECT_EQ(hd.Flags, c.flags);
    EXPECT_EQ(hd.HostOS, c.hostOS);
    EXPECT_EQ(hd.FileAttr, c.attributes);
    EXPECT_EQ(hd.FileTime, 0x58B1645Cu);
    EXPECT_EQ(hd.UnpVer, c.entry.version);
    EXPECT_EQ(hd.Method, 0x30u);
    EXPECT_EQ(hd.UnpSize, c.entry.data.size());
    EXPECT_EQ(hd.FileCRC, c.entry.directory ? 0u : rar4::Crc32(c.entry.data));

    const std::string out = tmp.File("out");
    const auto extracted = WalkArchive(archive, out).entries;
    ASSERT_EQ(extracted.size(), 1u);
    EXPECT_EQ(extracted[0].processResult, 0);
    if (!c.entry.directory) {
        EXPECT_EQ(ReadFileBytes(out + "/" + c.reportedName), c.entry.data);
    }
}

Entry Folder(const std::string& name, HostOs host, uint32_t attributes)
{
    Entry e = MakeEntry(name, "", host, attributes);
    e.directory = true;
    e.version = 20;
    return e;
}

INSTANTIATE_TEST_SUITE_P(
    Rar4Writer, LibraryReadsHeader,
    ::testing::Values(
        HeaderCase{"ascii_name_in_a_folder_on_windows", MakeEntry("docs/a.txt", "alpha\n", HostOs::Windows, 0x20),
                   "docs/a.txt", 0, 2, 0x20},
        HeaderCase{"latin_name_in_encoded_unicode_form", MakeEntry("Grüße.txt", "ü\n", HostOs::Windows, 0x21),
                   "Grüße.txt", 0, 2, 0x21},
        HeaderCase{"cjk_name_in_encoded_unicode_form", MakeEntry("日本/語.txt", "cjk\n", HostOs::Windows, 0x20),
                   "日本/語.txt", 0, 2, 0x20},
        HeaderCase{"name_as_utf8_with_unicode_flag",
                   MakeEntry("Müller/日本.txt", "utf8\n", HostOs::Unix, 0100644, NameForm::Utf8), "Müller/日本.txt", 0,
                   3, 0100644},
        HeaderCase{"folder_on_windows", Folder("dir", HostOs::Windows, 0x10), "dir", RHDF_DIRECTORY, 2, 0x10},
        HeaderCase{"folder_on_unix", Folder("dir", HostOs::Unix, 040755), "dir", RHDF_DIRECTORY, 3, 040755},
        HeaderCase{"empty_file", MakeEntry("empty.txt", "", HostOs::Unix, 0100444), "empty.txt", 0, 3, 0100444}),
    [](const auto& info) { return std::string(info.param.behaviour); });

TEST(Rar4Writer, NamesThatClimbOutAreWrittenAsGiven)
{
    TempFolder tmp;
    const std::string archive = tmp.File("t.rar");
    ASSERT_TRUE(rar4::WriteFile(archive, rar4::WriteArchive({MakeEntry("../x", "1", HostOs::Unix, 0100644),
                                                             MakeEntry("a/../../b", "2", HostOs::Unix, 0100644),
                                                             MakeEntry("/abs/path", "3", HostOs::Unix, 0100644)})));
    const auto listed = WalkArchive(archive).entries;
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, "../x");
    EXPECT_EQ(listed[1].name, "a/../../b");
    EXPECT_EQ(listed[2].name, "/abs/path");
}

TEST(Rar4Writer, DeclaredSizeAboveFourGiBFillsTheHighHalf)
{
    TempFolder tmp;
    Entry large = MakeEntry("large.bin", "0123456789abcdef", HostOs::Windows, 0x20);
    large.declaredSize = 5ull << 30;
    const std::string archive = tmp.File("l.rar");
    ASSERT_TRUE(rar4::WriteFile(archive, rar4::WriteArchive({large, MakeEntry("after", "x", HostOs::Windows, 0x20)})));
    const auto listed = WalkArchive(archive).entries;
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].header.UnpSize, 0x40000000u);
    EXPECT_EQ(listed[0].header.UnpSizeHigh, 1u);
    EXPECT_EQ(listed[0].header.PackSize, 16u);
    EXPECT_EQ(listed[0].header.PackSizeHigh, 0u);
    EXPECT_EQ(listed[1].name, "after");
}

TEST(Rar4Writer, VolumeSetSplitsEntriesAndExtractsWhole)
{
    TempFolder tmp;
    std::string big;
    for (int i = 0; i < 5000; ++i)
        big += char(i * 7 + i / 256);
    const auto volumes = rar4::WriteVolumes({MakeEntry("big.bin", big, HostOs::Windows, 0x20),
                                             MakeEntry("tail.txt", "tail\n", HostOs::Windows, 0x20)},
                                            2000);
    ASSERT_EQ(volumes.size(), 3u);
    const std::string first = tmp.File("v.rar");
    for (size_t i = 0; i < volumes.size(); ++i)
        ASSERT_TRUE(rar4::WriteFile(rar4::OldStyleVolumeName(first, i), volumes[i]));

    // Listed with its split parts, the set shows each part's continuation
    // flags; the library walks on to the next volume by itself.
    auto flagsFrom = [](const std::string& volume) {
        RAROpenArchiveData open{};
        open.ArcName = const_cast<char*>(volume.c_str());
        open.OpenMode = RAR_OM_LIST_INCSPLIT;
        HANDLE h = RAROpenArchive(&open);
        std::vector<unsigned> flags;
        RARHeaderDataEx hd{};
        while (h && RARReadHeaderEx(h, &hd) == ERAR_SUCCESS) {
            flags.push_back(hd.Flags & (RHDF_SPLITBEFORE | RHDF_SPLITAFTER));
            if (RARProcessFile(h, RAR_SKIP, nullptr, nullptr) != 0)
                break;
        }
        if (h)
            RARCloseArchive(h);
        return flags;
    };
    const unsigned both = RHDF_SPLITBEFORE | RHDF_SPLITAFTER;
    EXPECT_EQ(flagsFrom(tmp.File("v.rar")), (std::vector<unsigned>{RHDF_SPLITAFTER, both, RHDF_SPLITBEFORE, 0}));
    EXPECT_EQ(flagsFrom(tmp.File("v.r01")), (std::vector<unsigned>{RHDF_SPLITBEFORE, 0}));

    const std::string out = tmp.File("out");
    const auto extracted = WalkArchive(first, out).entries;
    ASSERT_EQ(extracted.size(), 2u);
    EXPECT_EQ(extracted[0].processResult, 0);
    EXPECT_EQ(extracted[1].processResult, 0);
    EXPECT_EQ(ReadFileBytes(out + "/big.bin"), big);
    EXPECT_EQ(ReadFileBytes(out + "/tail.txt"), "tail\n");
}

// Headers encrypted as rar -hp did are only right if the library opens them
// with the password, and with no other.
struct SealedCase {
    const char* behaviour;
    std::string password;
};

class LibraryOpensSealedHeaders : public ::testing::TestWithParam<SealedCase> {};

TEST_P(LibraryOpensSealedHeaders, OnlyWithThePassword)
{
    const std::string& password = GetParam().password;
    TempFolder tmp;
    const std::string archive = tmp.File("hp.rar");
    const std::vector<Entry> entries = {MakeEntry("one.txt", "first\n", HostOs::Windows, 0x20),
                                        MakeEntry("docs/two.txt", std::string(700, 't'), HostOs::Windows, 0x20)};
    ASSERT_TRUE(rar4::WriteFile(archive, rar4::WriteArchive(entries, {.headerPassword = password})));

    const std::string out = tmp.File("out");
    const auto opened = WalkArchive(archive, out, password.c_str());
    ASSERT_EQ(opened.entries.size(), 2u);
    EXPECT_EQ(opened.lastRead, ERAR_END_ARCHIVE);
    EXPECT_EQ(opened.entries[1].name, "docs/two.txt");
    EXPECT_EQ(ReadFileBytes(out + "/docs/two.txt"), entries[1].data);

    const auto wrong = WalkArchive(archive, "", (password + "x").c_str());
    EXPECT_TRUE(wrong.entries.empty());
    EXPECT_NE(wrong.lastRead, ERAR_END_ARCHIVE);
}

INSTANTIATE_TEST_SUITE_P(
    Rar4Writer, LibraryOpensSealedHeaders,
    ::testing::Values(SealedCase{"ascii_password", "PASSWORD"},
                      // Beyond U+FFFF the library keeps a character's low 16 bits.
                      SealedCase{"password_beyond_latin_and_the_basic_plane", "Grüße😀日本"},
                      // 29 characters and more: the old SHA-1 rewrites the password buffer.
                      SealedCase{"password_of_29_characters", std::string(29, 'p')},
                      SealedCase{"password_of_64_characters",
                                 "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-_"}),
    [](const auto& info) { return std::string(info.param.behaviour); });

TEST(Rar4Writer, NewNumberingVolumesAreFoundByTheLibrary)
{
    TempFolder tmp;
    const std::string data(5000, 'n');
    for (const std::string password : {"", "PASSWORD"}) {
        const auto volumes = rar4::WriteVolumes({MakeEntry("n.bin", data, HostOs::Windows, 0x20)}, 2000,
                                                {.headerPassword = password, .newNumbering = true});
        ASSERT_EQ(volumes.size(), 3u);
        const std::string archive = tmp.File(password.empty() ? "plain.rar" : "sealed.rar");
        for (size_t i = 0; i < volumes.size(); ++i)
            ASSERT_TRUE(rar4::WriteFile(rar4::NewStyleVolumeName(archive, i), volumes[i]));
        EXPECT_EQ(rar4::NewStyleVolumeName(archive, 1), archive.substr(0, archive.size() - 4) + ".part2.rar");

        const std::string out = tmp.File("out" + password);
        const auto extracted = WalkArchive(rar4::NewStyleVolumeName(archive, 0), out,
                                           password.empty() ? nullptr : password.c_str());
        ASSERT_EQ(extracted.entries.size(), 1u) << password;
        EXPECT_EQ(extracted.entries[0].processResult, 0);
        EXPECT_EQ(ReadFileBytes(out + "/n.bin"), data);
    }
}

// Values rar itself wrote for the same inputs (see tests/data/README.md).
TEST(Rar4Writer, ChecksumAndDosStampMatchRar)
{
    EXPECT_EQ(rar4::Crc32(std::string("123456789")), 0xCBF43926u);
    EXPECT_EQ(rar4::DosTime(2024, 5, 17, 12, 34, 56), 0x58B1645Cu);
}

}  // namespace

namespace {

// The committed RAR4 archives are what the tool writes today; a change to the
// writer must come with regenerated archives (tests/data/make_archives.sh).
TEST(Rar4Writer, CommittedArchivesAreCurrent)
{
    TempFolder tmp;
    const std::string command = std::string("'") + MAKE_RAR4_PATH + "' '" + TestDataPath("source") + "' '" +
                                tmp.Path() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : {"rar4_windows.rar", "rar4_unix.rar", "rar4_traversal.rar", "rar4_hosts.rar",
                             "rar4_large.rar", "rar4_volumes.rar", "rar4_volumes.r00", "rar4_volumes.r01",
                             "rar4_numbered_1.rar", "rar4_numbered_2.rar", "rar4_numbered_3.rar", "rar4_hp.rar",
                             "rar4_hp_volumes_1.rar", "rar4_hp_volumes_2.rar", "rar4_hp_volumes_3.rar"})
        EXPECT_TRUE(ReadFileBytes(tmp.File(name)) == ReadFileBytes(TestDataPath(name))) << name;
}

}  // namespace
