#include "platform/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

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

std::optional<std::string> ReadFirstLine(const std::string& path)
{
    if (!FileExists(path))
        return std::nullopt;

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file)
        throw FileReadError("Cannot read " + path + ": " + std::strerror(errno));

    std::string line;
    char buffer[4096];
    bool ended = false;
    while (!ended) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        if (n == 0) {
            if (std::ferror(file.get()))
                throw FileReadError("Cannot read " + path + ": " + std::strerror(errno));
            break;
        }
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

}  // namespace platform
