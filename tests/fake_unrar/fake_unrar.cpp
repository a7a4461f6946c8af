// A stand-in for the UnRAR library that plays a script, for the results no
// real archive produces.
#define _UNIX
#include <cstdio>
#include <unrar/dll.hpp>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "fake_unrar_control.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct FakeEntry {
    int readResult = 0;
    int processResult = 0;
    std::string name;
    std::string arcName;
    unsigned flags = 0;
    unsigned long long pack = 0;
    unsigned long long unp = 0;
    unsigned host = 3;
    unsigned attr = 0100644;
    std::vector<std::string> readCalls;
    std::vector<std::string> processCalls;
};

struct FakeScript {
    int version = 8;
    bool openNull = false;
    unsigned openResult = 0;
    unsigned commentState = 0;
    std::string comment;
    int closeResult = 0;
    long passwordBuffer = 512;
    bool failForever = false;
    unsigned pauseMs = 0;
    int failResult = 0;
    std::vector<FakeEntry> entries;
};

FakeScript Script;
std::string Log;

struct FakeArchive {
    std::string name;
    UNRARCALLBACK callback = nullptr;
    LPARAM userData = 0;
    size_t next = 0;
    const FakeEntry* current = nullptr;
};

void Note(const std::string& line)
{
    Log += line;
    Log += '\n';
}

std::wstring Widen(const std::string& utf8)
{
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        wchar_t w = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        ++i;
        for (; extra > 0 && i < utf8.size(); --extra, ++i)
            w = static_cast<wchar_t>((w << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F));
        out += w;
    }
    return out;
}

bool FileThere(const char* path)
{
    struct stat st {};
    return stat(path, &st) == 0;
}

void RunCall(FakeArchive& arc, const std::string& what)
{
    std::istringstream words(what);
    std::string kind;
    words >> kind;
    if (!arc.callback) {
        Note("no callback for " + kind);
        return;
    }
    if (kind == "password") {
        // A guard zone behind the buffer shows any write past its end.
        const size_t size = static_cast<size_t>(Script.passwordBuffer);
        std::vector<wchar_t> wide(size, L'\0');
        int a = arc.callback(UCM_NEEDPASSWORDW, arc.userData, reinterpret_cast<LPARAM>(wide.data()),
                             static_cast<LPARAM>(size));
        Note("passwordW -> " + std::to_string(a) + (wide[0] == 0 ? " untouched" : " written"));
        if (a < 0)
            return;
        std::vector<char> buffer(size + 64, '\x7f');
        buffer[0] = '\0';
        a = arc.callback(UCM_NEEDPASSWORD, arc.userData, reinterpret_cast<LPARAM>(buffer.data()),
                         static_cast<LPARAM>(size));
        bool overflow = false;
        for (size_t i = size; i < buffer.size(); ++i)
            overflow = overflow || buffer[i] != '\x7f';
        const size_t len = strnlen(buffer.data(), size);
        Note("password -> " + std::to_string(a) + " '" + std::string(buffer.data(), len) +
             "' len=" + std::to_string(len) + (len == size ? " unterminated" : "") + (overflow ? " overflow" : ""));
    } else if (kind == "volume") {
        std::string name;
        words >> name;
        std::vector<char> buffer(2048, '\0');
        std::strncpy(buffer.data(), name.c_str(), buffer.size() - 1);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int a = arc.callback(UCM_CHANGEVOLUME, arc.userData, reinterpret_cast<LPARAM>(buffer.data()),
                                       RAR_VOL_ASK);
            Note("volume -> " + std::to_string(a) + " '" + buffer.data() + "'");
            if (a < 0)
                return;
            if (FileThere(buffer.data())) {
                const int n = arc.callback(UCM_CHANGEVOLUME, arc.userData, reinterpret_cast<LPARAM>(buffer.data()),
                                           RAR_VOL_NOTIFY);
                Note("notice -> " + std::to_string(n));
                return;
            }
        }
        Note("volume retried");
    } else if (kind == "data") {
        static unsigned char bytes[16] = {};
        const int a = arc.callback(UCM_PROCESSDATA, arc.userData, reinterpret_cast<LPARAM>(bytes), sizeof bytes);
        Note("data -> " + std::to_string(a));
    } else if (kind == "wait") {
        // The time a large entry takes to unpack between two chunks.
        unsigned ms = 0;
        words >> ms;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

unsigned long long Number(const std::string& text)
{
    return std::strtoull(text.c_str(), nullptr, 0);
}

}  // namespace

FAKE_EXPORT void FakeUnRarScript(const char* text)
{
    Script = FakeScript{};
    Log.clear();
    std::istringstream lines(text ? text : "");
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string command;
        if (!(words >> command))
            continue;
        std::string rest;
        std::getline(words, rest);
        if (!rest.empty() && rest[0] == ' ')
            rest.erase(0, 1);
        std::istringstream args(rest);
        if (command == "version") {
            Script.version = static_cast<int>(Number(rest));
        } else if (command == "open") {
            if (rest == "null")
                Script.openNull = true;
            else
                Script.openResult = static_cast<unsigned>(Number(rest));
        } else if (command == "comment") {
            args >> Script.commentState;
            std::getline(args, Script.comment);
            if (!Script.comment.empty() && Script.comment[0] == ' ')
                Script.comment.erase(0, 1);
        } else if (command == "close") {
            Script.closeResult = static_cast<int>(Number(rest));
        } else if (command == "pwbuffer") {
            Script.passwordBuffer = static_cast<long>(Number(rest));
        } else if (command == "pause") {
            Script.pauseMs = static_cast<unsigned>(Number(rest));
        } else if (command == "failforever") {
            Script.failForever = true;
            Script.failResult = static_cast<int>(Number(rest));
        } else if (command == "header") {
            FakeEntry entry;
            args >> entry.readResult;
            std::string pair;
            while (args >> pair) {
                const auto eq = pair.find('=');
                const std::string key = pair.substr(0, eq);
                const std::string value = eq == std::string::npos ? "" : pair.substr(eq + 1);
                if (key == "name")
                    entry.name = value;
                else if (key == "arc")
                    entry.arcName = value;
                else if (key == "flags")
                    entry.flags = static_cast<unsigned>(Number(value));
                else if (key == "pack")
                    entry.pack = Number(value);
                else if (key == "unp")
                    entry.unp = Number(value);
                else if (key == "host")
                    entry.host = static_cast<unsigned>(Number(value));
                else if (key == "attr")
                    entry.attr = static_cast<unsigned>(Number(value));
            }
            Script.entries.push_back(entry);
        } else if (command == "readcall" && !Script.entries.empty()) {
            Script.entries.back().readCalls.push_back(rest);
        } else if (command == "call" && !Script.entries.empty()) {
            Script.entries.back().processCalls.push_back(rest);
        } else if (command == "process" && !Script.entries.empty()) {
            Script.entries.back().processResult = static_cast<int>(Number(rest));
        }
    }
}

FAKE_EXPORT const char* FakeUnRarLog()
{
    return Log.c_str();
}

FAKE_EXPORT HANDLE RAROpenArchive(RAROpenArchiveData* data)
{
    Note(std::string("open ") + (data->ArcName ? data->ArcName : "(null)") + " mode=" + std::to_string(data->OpenMode) +
         " cmtsize=" + std::to_string(data->CmtSize));
    data->OpenResult = Script.openResult;
    data->CmtState = Script.commentState;
    if (Script.commentState == 1 && data->CmtBuf && data->CmtBufSize > 0) {
        std::strncpy(data->CmtBuf, Script.comment.c_str(), data->CmtBufSize - 1);
        data->CmtSize = static_cast<unsigned>(Script.comment.size() + 1);
    }
    if (Script.openNull)
        return nullptr;
    // A failed open still hands back a handle here, one that must go to no
    // other call (so nothing is allocated that a close would free).
    static FakeArchive failed;
    if (Script.openResult != 0)
        return &failed;
    auto* arc = new FakeArchive;
    arc->name = data->ArcName ? data->ArcName : "";
    return arc;
}

FAKE_EXPORT HANDLE RAROpenArchiveEx(RAROpenArchiveDataEx*)
{
    Note("openex");
    return nullptr;
}

FAKE_EXPORT int RARCloseArchive(HANDLE handle)
{
    Note(handle ? "close" : "close null");
    delete static_cast<FakeArchive*>(handle);
    return Script.closeResult;
}

FAKE_EXPORT int RARReadHeader(HANDLE, RARHeaderData*)
{
    Note("readheader");
    return ERAR_END_ARCHIVE;
}

FAKE_EXPORT int RARReadHeaderEx(HANDLE handle, RARHeaderDataEx* header)
{
    if (!handle) {
        Note("read null");
        return ERAR_BAD_ARCHIVE;
    }
    auto& arc = *static_cast<FakeArchive*>(handle);
    if (Script.pauseMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(Script.pauseMs));
    int r = ERAR_END_ARCHIVE;
    if (arc.next < Script.entries.size()) {
        const FakeEntry& e = Script.entries[arc.next++];
        arc.current = &e;
        for (const std::string& call : e.readCalls)
            RunCall(arc, call);
        std::memset(header->ArcName, 0, sizeof header->ArcName);
        std::memset(header->FileNameW, 0, sizeof header->FileNameW);
        const std::string arcName = e.arcName.empty() ? arc.name : e.arcName;
        std::strncpy(header->ArcName, arcName.c_str(), sizeof header->ArcName - 1);
        std::strncpy(header->FileName, e.name.c_str(), sizeof header->FileName - 1);
        const std::wstring wide = Widen(e.name);
        std::wcsncpy(header->FileNameW, wide.c_str(), 1023);
        header->Flags = e.flags;
        header->PackSize = static_cast<unsigned>(e.pack);
        header->PackSizeHigh = static_cast<unsigned>(e.pack >> 32);
        header->UnpSize = static_cast<unsigned>(e.unp);
        header->UnpSizeHigh = static_cast<unsigned>(e.unp >> 32);
        header->HostOS = e.host;
        header->FileAttr = e.attr;
        header->UnpVer = 50;
        header->Method = 0x33;
        r = e.readResult;
    } else if (Script.failForever) {
        arc.current = nullptr;
        r = Script.failResult;
    }
    Note("read -> " + std::to_string(r));
    return r;
}

FAKE_EXPORT int RARProcessFile(HANDLE handle, int operation, char* destPath, char* destName)
{
    Note("process " + std::to_string(operation) + " " + (destPath ? destPath : "(null)") + (destName ? " name" : ""));
    if (!handle)
        return ERAR_BAD_ARCHIVE;
    auto& arc = *static_cast<FakeArchive*>(handle);
    if (!arc.current)
        return ERAR_BAD_ARCHIVE;
    if (operation != RAR_SKIP)
        for (const std::string& call : arc.current->processCalls)
            RunCall(arc, call);
    // Like the real library, an extraction that succeeds leaves a file at
    // the name it was given.
    if (operation == RAR_EXTRACT && destName && arc.current->processResult == ERAR_SUCCESS)
        if (FILE* made = std::fopen(destName, "wb"))
            std::fclose(made);
    return arc.current->processResult;
}

FAKE_EXPORT int RARProcessFileW(HANDLE, int, wchar_t*, wchar_t*)
{
    Note("processW");
    return ERAR_UNKNOWN;
}

FAKE_EXPORT void RARSetCallback(HANDLE handle, UNRARCALLBACK callback, LPARAM userData)
{
    Note(std::string("setcallback") + (handle ? "" : " null"));
    if (!handle)
        return;
    auto& arc = *static_cast<FakeArchive*>(handle);
    arc.callback = callback;
    arc.userData = userData;
}

FAKE_EXPORT void RARSetChangeVolProc(HANDLE, CHANGEVOLPROC)
{
    Note("setchangevolproc");
}

FAKE_EXPORT void RARSetProcessDataProc(HANDLE, PROCESSDATAPROC)
{
    Note("setprocessdataproc");
}

FAKE_EXPORT void RARSetPassword(HANDLE handle, char* password)
{
    Note(std::string("setpassword ") + (password ? password : "(null)") + (handle ? "" : " null"));
}

FAKE_EXPORT int RARGetDllVersion()
{
    return Script.version;
}
