#include "archive/VoskConvert.h"

#include <chrono>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string_view>

namespace {

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string HexUpper(uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    char out[8];
    char* first = std::end(out);
    do {
        *--first = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    return std::string(first, std::end(out));
}

}  // namespace

std::string WideToUtf8(const wchar_t* text, size_t capacity)
{
    // Asked of every entry's name, which is mostly ASCII: one byte each.
    const size_t length = wcsnlen(text, capacity);
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i)
        AppendUtf8(out, static_cast<uint32_t>(text[i]));
    return out;
}

double DosStampToDateTime(uint32_t stamp)
{
    using namespace std::chrono;
    const unsigned date = stamp >> 16;
    const unsigned time = stamp & 0xFFFF;
    const year_month_day day{year{1980 + static_cast<int>(date >> 9)}, month{(date >> 5) & 0x0F},
                             std::chrono::day{date & 0x1F}};
    const unsigned hours = time >> 11;
    const unsigned minutes = (time >> 5) & 0x3F;
    const unsigned seconds = (time & 0x1F) * 2;
    if (!day.ok() || hours > 23 || minutes > 59 || seconds > 59)
        return 0;
    constexpr year_month_day epoch{year{1899}, December, std::chrono::day{30}};
    const auto days = (sys_days{day} - sys_days{epoch}).count();
    return static_cast<double>(days) + (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
}

std::string CutUtf8(const std::string& text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut sequence.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string CleanEntryName(const std::string& name)
{
    // Our own rule, not the library's: empty parts and "." go, ".." takes back
    // the part before it and can never climb above the destination.
    std::string clean;
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const size_t length = (slash == std::string::npos ? name.size() : slash) - start;
        const std::string_view part(name.data() + start, length);
        if (part == "..") {
            const size_t cut = clean.rfind('/');
            clean.erase(cut == std::string::npos ? 0 : cut);
        } else if (!part.empty() && part != ".") {
            if (!clean.empty())
                clean += '/';
            clean += part;
        }
        if (slash == std::string::npos)
            return clean;
        start = slash + 1;
    }
}

std::string JoinTarget(const std::string& directory, const std::string& cleanName)
{
    // With no destination the library writes into the current folder.
    if (directory.empty())
        return cleanName;
    return directory + "/" + cleanName;
}

std::string TargetPath(const std::string& directory, const std::string& entryName)
{
    return JoinTarget(directory, CleanEntryName(entryName));
}

void ConvertHeader(const RARHeaderDataEx& h, const std::string& name, TVoskRARHeaderData& d)
{
    d.ArcName.assign(h.ArcName, strnlen(h.ArcName, sizeof h.ArcName));
    d.FileName = name;
    d.ContinuedPrev = h.Flags & RHDF_SPLITBEFORE;
    d.ContinuedNext = h.Flags & RHDF_SPLITAFTER;
    d.Encrypted = h.Flags & RHDF_ENCRYPTED;
    d.IsDirectory = h.Flags & RHDF_DIRECTORY;
    d.DicSize = static_cast<int64_t>(h.DictSize) * 1024;
    d.PackSize = (static_cast<uint64_t>(h.PackSizeHigh) << 32) | h.PackSize;
    d.UnpSize = (static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize;
    d.CRC = HexUpper(h.FileCRC);

    static const char* const hosts[] = {"DOS", "IBM OS/2", "Windows", "Unix"};
    if (h.HostOS < std::size(hosts))
        d.HostOS = hosts[h.HostOS];  // other codes keep the previous entry's text

    d.Time = DosStampToDateTime(h.FileTime);
    d.Minor = h.UnpVer % 10;
    d.Major = (h.UnpVer - d.Minor) / 10;

    static const char* const methods[] = {"store", "fastest", "fast", "normal", "good", "best"};
    if (h.Method >= 0x30 && h.Method < 0x30 + std::size(methods))
        d.Method = methods[h.Method - 0x30];  // other codes keep the previous text

    const uint32_t a = h.FileAttr;
    if (h.HostOS == HostUnix) {
        // A Unix entry carries its file mode, not Windows attribute bits.
        d.AttrArchive = false;
        d.AttrCompressed = false;
        d.AttrDirectory = (a & 0170000) == 0040000;
        const std::string_view path = d.FileName;
        d.AttrHidden = path.substr(path.rfind('/') + 1).starts_with('.');  // npos + 1: the whole path
        d.AttrOffline = false;
        d.AttrReadOnly = (a & 0200) == 0;
        d.AttrSystem = false;
        d.AttrTemporary = false;
        d.AttrNormal = !(d.AttrDirectory || d.AttrHidden || d.AttrReadOnly);
    } else {
        d.AttrArchive = a & 0x20;
        d.AttrCompressed = a & 0x800;
        d.AttrDirectory = a & 0x10;
        d.AttrHidden = a & 0x02;
        d.AttrNormal = a & 0x80;
        d.AttrOffline = a & 0x1000;
        d.AttrReadOnly = a & 0x01;
        d.AttrSystem = a & 0x04;
        d.AttrTemporary = a & 0x100;
    }
}
