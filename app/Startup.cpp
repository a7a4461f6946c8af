#include "app/Startup.h"

#include "platform/program_folder.h"
#include "platform/text_file.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace app {

namespace {

// The file a path names: for a relative path the program's folder's file of
// that name wins over the current folder's. Empty when neither is a file.
std::string FindFile(const std::string& path)
{
    if (path.empty())
        return {};
    if (path.front() != '/') {
        const std::string inProgramFolder = platform::ProgramFolder() + path;
        if (platform::FileExists(inProgramFolder))
            return inProgramFolder;
    }
    return platform::FileExists(path) ? path : std::string();
}

// The path from the root, so the window's destination (the archive's folder)
// is never empty. "." parts and doubled slashes go, so the caption reads as a
// user writes a path; ".." stays, since a link on the way may lead elsewhere.
std::string AbsolutePath(const std::string& path)
{
    std::string whole = path;
    if (path.front() != '/') {
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (error)
            return path;
        whole = current.string() + '/' + path;
    }
    std::string cleaned;
    for (size_t at = 0; at < whole.size();) {
        const size_t end = std::min(whole.find('/', at), whole.size());
        const std::string_view part(whole.data() + at, end - at);
        if (!part.empty() && part != ".") {
            cleaned += '/';
            cleaned += part;
        }
        at = end + 1;
    }
    return cleaned.empty() ? "/" : cleaned;
}

}  // namespace

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
    const std::string file = FindFile(choice.CmdLineArchive);
    if (IsRarEnding(choice.CmdLineExt))
        choice.road = file.empty() ? StartupRoad::FileNotFound : StartupRoad::Extract;
    else
        choice.road = StartupRoad::Launcher;
    if (choice.road == StartupRoad::Extract)
        choice.ArchivePath = AbsolutePath(file);
    return choice;
}

}  // namespace app
