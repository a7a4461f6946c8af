#pragma once

#include <functional>

namespace platform {

// Blocks the calling thread for `ms` milliseconds without handling messages.
void SleepMs(unsigned ms);

// Tests take the wait over (and so never sleep for real); an empty handler
// restores the real sleep.
void SetSleepHandler(std::function<void(unsigned ms)> handler);

}  // namespace platform
