#pragma once

#include "platform/processes.h"

#include <functional>
#include <string>
#include <vector>

namespace app {

// Forcibly ends every running process whose executable is `name`, compared
// without regard to ASCII case: first with the file-name part of the
// executable text, then with the whole text. A bare name thus matches any
// copy, a full path only that path. Returns whether the last termination
// request succeeded; false when nothing matched.
bool EndProcessesByName(const std::string& name);

// The same over a given process list with a given way of ending a process.
bool EndProcessesByName(const std::string& name, const std::vector<platform::ProcessEntry>& processes,
                        const std::function<bool(int pid)>& terminate);

}  // namespace app
