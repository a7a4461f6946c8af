#include "platform/command_line.h"

#include "platform/ascii.h"

namespace platform {

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
    return FoldAscii(std::string(text.size() > 4 ? text.substr(text.size() - 4) : text));
}

bool IsRarEnding(std::string_view ending)
{
    return ending == ".rar" || ending == "rar";
}

}  // namespace platform
