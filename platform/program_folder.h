#pragma once

#include <string>

namespace platform {

// Folder of the running executable, with a trailing '/'. Files the program
// reads beside itself ("silent.txt", "folder.txt", help files) are found there.
std::string ProgramFolder();

// Tests point the program folder at a temporary folder; an empty text goes
// back to the executable's real folder.
void SetProgramFolder(const std::string& folder);

// Everything up to and including the last '/', or empty when there is none.
std::string FolderPart(const std::string& path);

// Everything after the last '/'.
std::string FileNamePart(const std::string& path);

}  // namespace platform
