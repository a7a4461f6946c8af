#pragma once

#include <QString>
#include <functional>

namespace platform {

// The application's error box: shows the message of an error that left an
// event handler or a window's creation.
void ShowErrorBox(const QString& message);

// Tests catch the error box instead of showing it; an empty handler restores
// the real box.
void SetErrorBoxHandler(std::function<void(const QString&)> handler);

}  // namespace platform
