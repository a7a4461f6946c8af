#include "app/Startup.h"

#include "platform/program_folder.h"
#include "platform/text_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace app {

namespace {

// The first bytes of a RAR archive: versions 1.5 to 4.x, and RAR5.
constexpr std::string_view Rar4Signature("Rar!\x1A\x07\x00", 7);
constexpr std::string_view Rar5Signature("Rar!\x1A\x07\x01\x00", 8);

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

bool StartsWithRarSignature(const std::string& path)
{
    // Not opened at all unless it looks like a file, and then without
    // waiting: a pipe would block the open, a device may not answer a read.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[8];
    size_t got = 0;
    // Checked again on what was opened: the name may have changed meanwhile.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        while (got < sizeof head) {
            const ssize_t n = read(fd, head + got, sizeof head - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
    }
    close(fd);
    const std::string_view start(head, got);
    return start.starts_with(Rar4Signature) || start.starts_with(Rar5Signature);
}

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
        // A RAR file by another name is unpacked too; anything else brings
        // the launcher, as it always has, without a word.
        choice.road = !file.empty() && StartsWithRarSignature(file) ? StartupRoad::Extract : StartupRoad::Launcher;
    if (choice.road == StartupRoad::Extract)
        choice.ArchivePath = AbsolutePath(file);
    return choice;
}

}  // namespace app
