#pragma once

#include <QString>

namespace platform {

// Hands a web address to the desktop, which opens it in the user's browser.
void OpenUrl(const QString& url);

// Opens a local file in the program the desktop has for its type.
void OpenLocalFile(const QString& path);

}  // namespace platform
