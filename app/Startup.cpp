#include "app/Startup.h"

#include "platform/program_folder.h"
#include "platform/text_file.h"

namespace app {

namespace {

bool IsControlOrBlank(char c)
{
    // Bytes of multi-byte UTF-8 characters are above 127, never trimmed.
    return static_cast<unsigned char>(c) <= 32;
}

}  // namespace

std::string TrimControl(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsControlOrBlank(text[begin]))
        ++begin;
    while (end > begin && IsControlOrBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string JoinArguments(const std::vector<std::string>& arguments)
{
    if (arguments.size() == 1)
        return TrimControl(arguments.front());
    std::string joined;
    for (const std::string& argument : arguments) {
        joined += ' ';
        joined += TrimControl(argument);
    }
    return TrimControl(joined);
}

std::string LastFourLower(std::string_view text)
{
    std::string ending(text.size() > 4 ? text.substr(text.size() - 4) : text);
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ending;
}

bool IsRarEnding(std::string_view ending)
{
    return ending == ".rar" || ending == "rar";
}

StartupChoice ChooseStartupRoad(const std::vector<std::string>& arguments)
{
    StartupChoice choice;
    // Compared byte for byte: "Shutdown" is taken as a path like any other.
    if (!arguments.empty() && arguments.front() == kShutdownCommand) {
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
