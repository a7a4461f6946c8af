#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Helpers of the header conversion, apart so tests can reach them directly.

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
