#include "app/Startup.h"

#include "platform/program_folder.h"
#include "platform/text_file.h"

#include <algorithm>
#include <iterator>

namespace app {

StartupChoice ChooseStartupRoad(const std::vector<std::string>& arguments)
{
    StartupChoice choice;
    if (arguments.size() == 1) {
        const auto is = [&arguments](const auto& options) {
            return std::find(std::begin(options), std::end(options), arguments.front()) != std::end(options);
        };
        if (is(HelpOptions)) {
            choice.road = StartupRoad::Help;
            return choice;
        }
        if (is(VersionOptions)) {
            choice.road = StartupRoad::Version;
            return choice;
        }
    }
    // Compared byte for byte: "Shutdown" is taken as a path like any other.
    if (!arguments.empty() && arguments.front() == ShutdownCommand) {
        choice.road = StartupRoad::Shutdown;
        return choice;
    }

    choice.CmdLineArchive = JoinArguments(arguments);
    choice.CmdLineExt = LastFourLower(choice.CmdLineArchive);
    if (!IsRarEnding(choice.CmdLineExt)) {
        choice.road = StartupRoad::Launcher;
        return choice;
    }

    bool found = platform::FileExists(choice.CmdLineArchive);
    if (!found) {
        choice.ExeDirArchive = platform::ProgramFolder() + choice.CmdLineArchive;
        found = platform::FileExists(choice.ExeDirArchive);
    }
    choice.road = found ? StartupRoad::Extract : StartupRoad::FileNotFound;
    return choice;
}

}  // namespace app
