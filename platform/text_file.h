#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace platform {

// Raised when a file exists but cannot be read; the message says which.
class FileReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True only for a file (or a link to one), never for a folder.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The first line of a text file: it ends at CR, LF or CRLF, and a leading
// UTF-8 byte-order mark is dropped. Nothing when no file is at the path;
// FileReadError when one is there but cannot be read, or is no regular file
// (a pipe, a socket, a device).
std::optional<std::string> ReadFirstLine(const std::string& path);

// The whole file, read the same way as ReadFirstLine.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace platform
