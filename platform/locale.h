#pragma once

namespace platform {

// Takes the user's locale and makes sure character handling is UTF-8: the
// UnRAR library writes file names through the C locale and silently fails
// to create non-ASCII names under plain "C". Safe to call more than once.
void SetUpProcessLocale();

}  // namespace platform
