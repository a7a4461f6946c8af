#include "platform/program_folder.h"

#include <climits>
#include <unistd.h>

namespace platform {

namespace {

std::string& OverrideFolder()
{
    static std::string folder;
    return folder;
}

std::string ExecutableFolder()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    return FolderPart(std::string(buffer, static_cast<size_t>(n)));
}

}  // namespace

std::string ProgramFolder()
{
    if (!OverrideFolder().empty())
        return OverrideFolder();
    static const std::string folder = ExecutableFolder();
    return folder;
}

void SetProgramFolder(const std::string& folder)
{
    OverrideFolder() = folder;
    if (!folder.empty() && folder.back() != '/')
        OverrideFolder() += '/';
}

std::string FolderPart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNamePart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace platform
