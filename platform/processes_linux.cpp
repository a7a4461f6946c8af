#include "platform/processes.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string_view>
#include <unistd.h>

namespace platform {

namespace {

bool IsPidName(const char* name)
{
    if (*name == '\0')
        return false;
    for (const char* c = name; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

std::string ExecutableText(const std::string& procDir)
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink((procDir + "/exe").c_str(), buffer, sizeof buffer - 1);
    if (n > 0) {
        std::string target(buffer, static_cast<size_t>(n));
        // A copy whose file was replaced after it started (a rebuild, an
        // update) still runs that program and must still be found.
        constexpr std::string_view deleted = " (deleted)";
        if (target.size() > deleted.size() && target.ends_with(deleted))
            target.resize(target.size() - deleted.size());
        return target;
    }
    // Processes of other users and kernel threads hide their executable;
    // their short name is still readable.
    std::ifstream comm(procDir + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

std::vector<ProcessEntry> RunningProcesses()
{
    std::vector<ProcessEntry> processes;
    DIR* proc = opendir("/proc");
    if (!proc)
        return processes;
    const int self = static_cast<int>(getpid());
    while (const dirent* entry = readdir(proc)) {
        if (!IsPidName(entry->d_name))
            continue;
        const int pid = std::atoi(entry->d_name);
        if (pid == self)
            continue;
        std::string executable = ExecutableText(std::string("/proc/") + entry->d_name);
        // A process that ended while we walked leaves nothing to read.
        if (executable.empty())
            continue;
        processes.push_back({pid, std::move(executable)});
    }
    closedir(proc);
    return processes;
}

bool TerminateProcess(int pid)
{
    if (pid <= 0)
        return false;
    return kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

}  // namespace platform
