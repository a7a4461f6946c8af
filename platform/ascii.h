#pragma once

#include <string>

namespace platform {

// Case of ASCII letters only. Names are compared byte by byte as the library
// and the file system hand them over: a byte of a UTF-8 sequence, or any
// letter beyond ASCII, stays as it is.

template <typename Char>
constexpr Char LowerAscii(Char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Char>
constexpr Char UpperAscii(Char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c;
}

// The text with its ASCII letters lower-cased.
inline std::string FoldAscii(std::string text)
{
    for (char& c : text)
        c = LowerAscii(c);
    return text;
}

}  // namespace platform
