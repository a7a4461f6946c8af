#include "app/EndProcessesByName.h"

#include "platform/program_folder.h"

#include <algorithm>

namespace app {

namespace {

std::string UpperAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return text;
}

}  // namespace

bool EndProcessesByName(const std::string& name,
                        const std::vector<platform::ProcessEntry>& processes,
                        const std::function<bool(int pid)>& terminate)
{
    const std::string wanted = UpperAscii(name);
    bool result = false;
    for (const platform::ProcessEntry& process : processes) {
        const bool matches = UpperAscii(platform::FileNamePart(process.executable)) == wanted
                             || UpperAscii(process.executable) == wanted;
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
