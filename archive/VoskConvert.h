#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/library/untUnRar.h"

// From the library's header record to the component's, and the texts and
// target paths made from its names. Depends on nothing else of the engine.

// One entry as the component reports it. Texts are UTF-8.
struct TVoskRARHeaderData {
    std::string ArcName;
    std::string FileName;
    bool ContinuedNext = false;
    bool ContinuedPrev = false;
    bool Encrypted = false;
    bool IsDirectory = false;
    int64_t DicSize = 0;  // bytes; 64-bit since current dictionaries reach 4 GiB and more
    uint64_t PackSize = 0;
    uint64_t UnpSize = 0;
    std::string HostOS;
    std::string CRC;
    double Time = 0;  // days since 30 December 1899, time of day as the fraction
    uint32_t Major = 0;
    uint32_t Minor = 0;
    std::string Method;
    bool AttrArchive = false;
    bool AttrCompressed = false;
    bool AttrDirectory = false;
    bool AttrHidden = false;
    bool AttrNormal = false;
    bool AttrOffline = false;
    bool AttrReadOnly = false;
    bool AttrSystem = false;
    bool AttrTemporary = false;

    bool operator==(const TVoskRARHeaderData&) const = default;
};

// The HostOS of an entry packed on Unix, whose FileAttr is a file mode.
inline constexpr unsigned HostUnix = 3;

// The header fields ConvertHeader reads, besides the two names. A record of
// the library's answers that keeps these fields and the names can stand in
// for the library's header.
inline constexpr unsigned int RARHeaderDataEx::*ConvertedFields[] = {
    &RARHeaderDataEx::Flags,   &RARHeaderDataEx::PackSize,    &RARHeaderDataEx::PackSizeHigh,
    &RARHeaderDataEx::UnpSize, &RARHeaderDataEx::UnpSizeHigh, &RARHeaderDataEx::HostOS,
    &RARHeaderDataEx::FileCRC, &RARHeaderDataEx::FileTime,    &RARHeaderDataEx::UnpVer,
    &RARHeaderDataEx::Method,  &RARHeaderDataEx::FileAttr,    &RARHeaderDataEx::DictSize,
};

// Fills `d` from the header `h`, whose entry name, converted once by the
// caller, is `name`. The host and method texts keep their previous value
// for a code they do not know.
void ConvertHeader(const RARHeaderDataEx& h, const std::string& name, TVoskRARHeaderData& d);

// UTF-32 wide text (as the library hands it on Linux) to UTF-8, whatever the
// locale. Stops at the first zero or after `capacity` characters; values that
// are no Unicode scalar become U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t capacity);

// A DOS stamp (date in the high 16 bits) as days since 30 December 1899 with
// the time of day as the fraction, no time-zone shift. A stamp that names no
// valid date or time gives 0.
double DosStampToDateTime(uint32_t stamp);

// The longest start of `text` of at most `maxBytes` bytes that does not split
// a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t maxBytes);

// The entry name as this program writes it below the destination: no empty
// parts, no ".", ".." resolved without climbing above the destination.
std::string CleanEntryName(const std::string& name);
// The destination and a name already cleaned, joined the way TargetPath joins them.
std::string JoinTarget(const std::string& directory, const std::string& cleanName);
// The target path of an entry: `directory`, '/', and the entry's name cleaned
// by this program's own rule. The selection test, the existence test, the
// overwrite question and the write itself all use this one path. An empty
// `directory` gives the cleaned name alone, relative to the current folder.
std::string TargetPath(const std::string& directory, const std::string& entryName);
