#include "platform/descriptor_table.h"

#include <algorithm>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// How many descriptors the process's table holds now.
int TableSize()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("FDSize:", 0) == 0)
            return std::stoi(line.substr(7));
    return -1;
}

std::set<std::string> OpenDescriptors()
{
    std::set<std::string> open;
    if (DIR* folder = opendir("/proc/self/fd")) {
        const int own = dirfd(folder);
        while (const dirent* entry = readdir(folder))
            if (entry->d_name[0] != '.' && std::stoi(entry->d_name) != own)
                open.insert(entry->d_name);
        closedir(folder);
    }
    return open;
}

// Runs `check` in a child process, whose table is only as large as its
// open descriptors need, as a freshly started program's is: whether it
// returned true.
template <typename Check>
bool InChild(Check check)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(check() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(DescriptorTable, GrowsToTheCountAskedAndLeavesNothingOpen)
{
    EXPECT_TRUE(InChild([] {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max < 512)
            return true;  // nothing to learn where 512 may never be open
        limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 512);
        setrlimit(RLIMIT_NOFILE, &limit);
        const std::set<std::string> before = OpenDescriptors();
        if (TableSize() >= 512)
            return true;  // started large: nothing to learn here either
        platform::ReserveDescriptorTable(512);
        return TableSize() >= 512 && OpenDescriptors() == before;
    }));
}

TEST(DescriptorTable, StaysWithinTheProcessLimit)
{
    EXPECT_TRUE(InChild([] {
        // A limit above the table the child has and below the count asked:
        // asking beyond it would grow nothing.
        const auto cap = static_cast<rlim_t>(TableSize() + TableSize() / 2);
        const rlimit limit{cap, cap};
        if (cap >= platform::ProgramDescriptors || setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return cap >= platform::ProgramDescriptors;
        const std::set<std::string> before = OpenDescriptors();
        platform::ReserveDescriptorTable(platform::ProgramDescriptors);
        return TableSize() >= static_cast<int>(cap) && OpenDescriptors() == before;
    }));
}

}  // namespace
