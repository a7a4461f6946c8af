#pragma once

// Writes stored (method 0x30) archives in the RAR 2.9/4.x format, which
// current `rar` no longer writes. Names are written as given, without any
// cleaning, so archives with "../" or absolute names can be made on purpose.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rar4 {

enum class HostOs : uint8_t { MsDos = 0, Os2 = 1, Windows = 2, Unix = 3, MacOs = 4, BeOs = 5 };

// How a name is put into the header's name field.
enum class NameForm {
    Auto,     // ASCII as is; anything else in the 2.9 encoded Unicode form
    Encoded,  // always the encoded form: 8-bit name, a zero byte, encoded UTF-16
    Utf8,     // Unicode flag set, the UTF-8 bytes with no zero byte
};

// Header flag bits of a file block.
inline constexpr uint16_t LHD_SPLIT_BEFORE = 0x0001;
inline constexpr uint16_t LHD_SPLIT_AFTER = 0x0002;
inline constexpr uint16_t LHD_DIRECTORY = 0x00E0;
inline constexpr uint16_t LHD_LARGE = 0x0100;
inline constexpr uint16_t LHD_UNICODE = 0x0200;
inline constexpr uint16_t LONG_BLOCK = 0x8000;

// Main header flag bits.
inline constexpr uint16_t MHD_VOLUME = 0x0001;
inline constexpr uint16_t MHD_NEWNUMBERING = 0x0010;
inline constexpr uint16_t MHD_PASSWORD = 0x0080;
inline constexpr uint16_t MHD_FIRSTVOLUME = 0x0100;

// End-of-archive flag bit.
inline constexpr uint16_t EARC_NEXT_VOLUME = 0x0001;

struct Entry {
    std::string name;  // UTF-8, '/' between folders
    std::string data;  // content, stored as is
    bool directory = false;
    HostOs host = HostOs::Windows;
    uint32_t attributes = 0x20;  // raw attribute word: Windows bits or a Unix mode
    uint32_t dosTime = 0;        // DOS stamp: date in the high half, time in the low half
    uint8_t version = 29;        // version needed to unpack, 10 * major + minor
    NameForm nameForm = NameForm::Auto;
    // Claims another unpacked size than data.size(); only listing such an
    // entry makes sense (a 5 GiB entry without 5 GiB of data).
    std::optional<uint64_t> declaredSize;
};

using Salt = std::array<uint8_t, 8>;

// How an archive or volume set is written as a whole.
struct ArchiveOptions {
    // Not empty: every block after the main header is encrypted the way
    // `rar -hp` of RAR 3.x did (MHD_PASSWORD in the main header); the entry
    // data stays as it is.
    std::string headerPassword;
    Salt salt = {0x42, 0x72, 0x61, 0x6D, 0x62, 0x6F, 0x6C, 0x64};  // of every encrypted block
    // Volumes: MHD_NEWNUMBERING, for names like x.part1.rar.
    bool newNumbering = false;
};

// RAR 3.x's AES-128 key and IV for a password (UTF-8) and salt.
struct HeaderKey {
    std::array<uint8_t, 16> key{};
    std::array<uint8_t, 16> iv{};
};
HeaderKey DeriveHeaderKey(const std::string& password, const Salt& salt);

uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);
uint32_t Crc32(const std::string& bytes);

// DOS stamp of a local date and time (two-second resolution).
uint32_t DosTime(int year, int month, int day, int hour, int minute, int second);

// The bytes of the name field and whether the Unicode flag goes with them.
struct EncodedName {
    std::string field;
    bool unicode = false;
};
EncodedName EncodeName(const std::string& utf8Name, NameForm form, HostOs host);

// One complete archive.
std::string WriteArchive(const std::vector<Entry>& entries, const ArchiveOptions& options = {});

// A volume set: each volume holds at most `dataPerVolume` bytes of entry
// data; entries that do not fit are split over the next volumes.
std::vector<std::string> WriteVolumes(const std::vector<Entry>& entries, size_t dataPerVolume,
                                      const ArchiveOptions& options = {});

// Name of volume `index` (0 = first) of an old-style set: x.rar, x.r00, x.r01 ...
std::string OldStyleVolumeName(const std::string& firstVolumePath, size_t index);

// Name of volume `index` (0 = first) of a new-style set from "x.rar":
// x.part1.rar, x.part2.rar ...
std::string NewStyleVolumeName(const std::string& archivePath, size_t index);

// Writes `bytes` to `path`; false when the file cannot be written.
bool WriteFile(const std::string& path, const std::string& bytes);

}  // namespace rar4
