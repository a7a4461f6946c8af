#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Removes every character of code 32 or less from both ends.
std::string TrimControl(std::string_view text);

// Joins the arguments (without the program's own path) into one archive
// path: each trimmed and separated by one blank, the whole trimmed. An
// unquoted path with blanks thereby comes back together.
std::string JoinArguments(const std::vector<std::string>& arguments);

// The last four characters, ASCII letters lower-cased; a shorter text whole.
std::string LastFourLower(std::string_view text);

// True for the endings that mark an archive: ".rar", and "rar" for a text
// that is exactly three characters long.
bool IsRarEnding(std::string_view ending);

}  // namespace platform
