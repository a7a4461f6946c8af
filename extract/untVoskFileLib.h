#pragma once

#include <string>

class QWidget;

// Lets the user pick a folder, starting at `initialFolder`. `resultFolder`
// receives its path (no trailing '/' except for the root "/"), or the empty
// text when the user cancelled. `rootText` names where the browse tree would
// start; the folder dialog here always offers the whole file system, which is
// what a root text that names no folder ("Extract to...") gives anyway.
void ChooseFolder(QWidget* owner, const std::string& rootText, const std::string& initialFolder,
                  std::string& resultFolder);

// Removes one trailing '/' from a path longer than one character; "/" alone
// and the empty path stay as they are.
void StripTrailingBackslash(std::string& path);
