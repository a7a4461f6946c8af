#pragma once

// Reads an archive back through RARLAB's library, for the tests of this folder.

#define _UNIX
#include <unrar/dll.hpp>

#include <clocale>
#include <string>
#include <vector>

struct WalkedEntry {
    std::string name;  // the library's wide name, as UTF-8
    RARHeaderDataEx header;
    int processResult;
};

struct Walk {
    std::vector<WalkedEntry> entries;
    int lastRead = 0;  // the header-read result that ended the walk (0 after a failed entry)
    bool opened = false;
};

inline std::string WideToUtf8(const wchar_t* w)
{
    std::string out;
    for (; *w; ++w) {
        const auto c = uint32_t(*w);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
        } else {
            out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)), char(0x80 | ((c >> 6) & 0x3F)),
                    char(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// Lists (no destination) or extracts every entry; stops at the first entry
// whose processing fails.
inline Walk WalkArchive(const std::string& archive, const std::string& destination = "", const char* password = nullptr)
{
    std::setlocale(LC_CTYPE, "C.UTF-8");  // the library writes non-ASCII names through the C locale
    RAROpenArchiveData open{};
    open.ArcName = const_cast<char*>(archive.c_str());
    open.OpenMode = destination.empty() ? RAR_OM_LIST : RAR_OM_EXTRACT;
    Walk w;
    HANDLE h = RAROpenArchive(&open);
    if (!h || open.OpenResult != 0)
        return w;
    w.opened = true;
    if (password)
        RARSetPassword(h, const_cast<char*>(password));
    RARHeaderDataEx hd{};
    while ((w.lastRead = RARReadHeaderEx(h, &hd)) == ERAR_SUCCESS) {
        const int r = RARProcessFile(h, destination.empty() ? RAR_SKIP : RAR_EXTRACT,
                                     destination.empty() ? nullptr : const_cast<char*>(destination.c_str()), nullptr);
        w.entries.push_back({WideToUtf8(hd.FileNameW), hd, r});
        if (r != 0)
            break;
    }
    RARCloseArchive(h);
    return w;
}
