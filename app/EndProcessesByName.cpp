#include "app/EndProcessesByName.h"

#include "platform/ascii.h"
#include "platform/program_folder.h"

#include <algorithm>

namespace app {

bool EndProcessesByName(const std::string& name, const std::vector<platform::ProcessEntry>& processes,
                        const std::function<bool(int pid)>& terminate)
{
    const std::string wanted = platform::FoldAscii(name);
    bool result = false;
    for (const platform::ProcessEntry& process : processes) {
        const bool matches = platform::FoldAscii(platform::FileNamePart(process.executable)) == wanted ||
                             platform::FoldAscii(process.executable) == wanted;
        // A process we may not end survives; the others are still ended.
        if (matches)
            result = terminate(process.pid);
    }
    return result;
}

bool EndProcessesByName(const std::string& name)
{
    return EndProcessesByName(name, platform::RunningProcesses(), platform::TerminateProcess);
}

}  // namespace app
