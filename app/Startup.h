#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line.h"

namespace app {

// The first argument that ends the running copies instead of starting one.
inline constexpr std::string_view ShutdownCommand = "shutdown";

// Executable name of the running copies that "shutdown" ends. The Windows
// build looked for "Brambold.exe"; here the built program is "brambold".
inline constexpr std::string_view ProgramExecutableName = "brambold";

// The lone arguments that print instead of starting; none ends in ".rar",
// so no archive path is taken from anybody.
inline constexpr std::string_view HelpOptions[] = {"--help", "-h"};
inline constexpr std::string_view VersionOptions[] = {"--version", "-v"};

enum class StartupRoad {
    Help,          // print the usage, no window, no display needed
    Version,       // print name and version, likewise
    Shutdown,      // end the running copies, no window
    Extract,       // extraction window as main window, launcher hidden
    FileNotFound,  // error box, then the end
    Launcher,      // launcher window alone
};

struct StartupChoice {
    StartupRoad road = StartupRoad::Launcher;
    // The archive path as the command line gives it (joined and trimmed).
    std::string CmdLineArchive;
    // Its last four characters, lower-cased; the whole text when shorter.
    std::string CmdLineExt;
    // On the extraction road, the one absolute path of the archive that the
    // extraction window unpacks; empty on the others.
    std::string ArchivePath;
};

// The joining and ending rules; the launcher shares the ending rule.
using platform::IsRarEnding;
using platform::JoinArguments;
using platform::LastFourLower;
using platform::TrimControl;

// Reads the command line (without the program's own path) once and picks the
// road. A relative path names the file of that name in the program's folder
// when there is one, else the one in the current folder. A path ending in
// ".rar" takes the extraction road; so does any other that names a file
// starting with a RAR signature (the desktop finds the type by content).
StartupChoice ChooseStartupRoad(const std::vector<std::string>& arguments);

// True when the file at `path` is a regular file whose first bytes are a
// RAR signature (RAR 1.5 to 4.x, or RAR5). Never waits on a pipe or device.
bool StartsWithRarSignature(const std::string& path);

}  // namespace app
