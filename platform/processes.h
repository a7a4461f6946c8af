#pragma once

#include <string>
#include <vector>

namespace platform {

// One running process: its id and its executable text, which is a full path
// when the executable can be read and a bare name otherwise.
struct ProcessEntry {
    int pid = 0;
    std::string executable;
};

// Every running process except our own, in the order the system lists them.
std::vector<ProcessEntry> RunningProcesses();

// Ends the process at once; false when it cannot be ended (no right, gone).
bool TerminateProcess(int pid);

}  // namespace platform
