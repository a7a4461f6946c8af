#pragma once

#include <cstddef>

#include "archive/library/untUnRar.h"

// The buffers every pass hands the library.
inline constexpr size_t CommentBufferSize = 65536;
inline constexpr size_t RedirNameCapacity = 4096;

// The six calls a pass makes, on the archive it opened. A run makes them
// through this interface, so it can be answered by the loaded library or by
// the record of a walk made ahead, and the choice is made where the run
// starts.
class IUnRarCalls {
public:
    virtual ~IUnRarCalls() = default;
    // Opens the archive `data` names; true when it opened, and the calls
    // below then work on it until Close.
    virtual bool Open(RAROpenArchiveData& data) = 0;
    virtual int Close() = 0;
    virtual int ReadHeader(RARHeaderDataEx& header) = 0;
    virtual int ProcessFile(int operation, char* destPath, char* destName) = 0;
    virtual void SetCallback(UNRARCALLBACK callback, LPARAM userData) = 0;
    virtual void SetPassword(char* password) = 0;
};

// The calls answered by the loaded library, through the process-wide slots.
class TLibraryCalls final : public IUnRarCalls {
public:
    bool Open(RAROpenArchiveData& data) override;
    int Close() override;
    int ReadHeader(RARHeaderDataEx& header) override;
    int ProcessFile(int operation, char* destPath, char* destName) override;
    void SetCallback(UNRARCALLBACK callback, LPARAM userData) override;
    void SetPassword(char* password) override;

private:
    HANDLE FHandle = nullptr;
};

// How the header loop of a pass ended.
enum class THeadersEnd { ArchiveEnd, SameFailure, Stopped };
struct THeadersResult {
    THeadersEnd end;
    int result;  // the read that ended it, or the last one before a stop
};

// The header loop of every pass. `read` reads the next header and gives the
// library's result; `entry` handles that header, whatever the result, and
// says whether to go on. A library that keeps failing on the same header
// would keep the loop here for good, so the same failure twice in a row
// ends it.
template <typename Read, typename Entry>
THeadersResult ReadHeaders(Read&& read, Entry&& entry)
{
    int lastFailure = ERAR_SUCCESS;
    for (;;) {
        const int r = read();
        if (r == ERAR_END_ARCHIVE)
            return {THeadersEnd::ArchiveEnd, r};
        if (r != ERAR_SUCCESS && r == lastFailure)
            return {THeadersEnd::SameFailure, r};
        lastFailure = r;
        if (!entry(r))
            return {THeadersEnd::Stopped, r};
    }
}
