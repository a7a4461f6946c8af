#include "platform/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

// Not blocking on the open, and refusing what is no regular file: a pipe or
// device in the program's folder must not stall the program.
FilePtr OpenRegularFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw FileReadError("Cannot read " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        throw FileReadError("Cannot read " + path + ": not a regular file");
    }
    FilePtr file(fdopen(fd, "rb"), &std::fclose);
    if (!file) {
        close(fd);
        throw FileReadError("Cannot read " + path + ": " + std::strerror(errno));
    }
    return file;
}

// Reads the next block; 0 at the end, FileReadError on a failed read.
size_t ReadBlock(FILE* file, char* buffer, size_t size, const std::string& path)
{
    const size_t n = std::fread(buffer, 1, size, file);
    if (n == 0 && std::ferror(file))
        throw FileReadError("Cannot read " + path + ": " + std::strerror(errno));
    return n;
}

}  // namespace

std::optional<std::string> ReadFirstLine(const std::string& path)
{
    if (!FileExists(path))
        return std::nullopt;
    const FilePtr file = OpenRegularFile(path);

    std::string line;
    char buffer[4096];
    bool ended = false;
    while (!ended) {
        const size_t n = ReadBlock(file.get(), buffer, sizeof buffer, path);
        if (n == 0)
            break;
        for (size_t i = 0; i < n; ++i) {
            if (buffer[i] == '\r' || buffer[i] == '\n') {
                ended = true;
                break;
            }
            line += buffer[i];
        }
    }
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
        line.erase(0, 3);
    return line;
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    if (!FileExists(path))
        return std::nullopt;
    const FilePtr file = OpenRegularFile(path);
    std::string data;
    char buffer[65536];
    while (const size_t n = ReadBlock(file.get(), buffer, sizeof buffer, path))
        data.append(buffer, n);
    return data;
}

}  // namespace platform
