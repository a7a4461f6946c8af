#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "archive/endcheck/ArchiveEnd.h"
#include "archive/library/UnRarCalls.h"

// The listing run of the window waits a second before it starts. Its header
// walk can be made meanwhile on a second thread with a handle of its own:
// the library's answers are recorded, and the listing run is later served
// from the record, through the same engine code, by calls that answer as
// the library did. Whatever the walk would have to ask, and any change of
// the archive or of the run's inputs, drops the record: the run then calls
// the library itself.

class TListingRecord;

// Makes the recorded walk. One per prepared listing; the destructor stops
// and joins the walk, so it must go before the library is freed.
class TListingRecorder {
public:
    TListingRecorder(std::string fileName, std::string password);
    ~TListingRecorder();
    TListingRecorder(const TListingRecorder&) = delete;
    TListingRecorder& operator=(const TListingRecorder&) = delete;

    // Waits for the walk to end, calling `whileWaiting` every `step`
    // meanwhile, so a window can handle its messages; an answer of false
    // gives the walk up. Then hands over calls that answer from the record,
    // when the walk was whole and was made for this file and password on
    // the archive as it is now; otherwise nothing.
    std::unique_ptr<IUnRarCalls> Take(const std::string& fileName, const std::string& password,
                                      std::chrono::milliseconds step, const std::function<bool()>& whileWaiting);
    // Ends the walk at its next step and waits for it.
    void Stop();
    // Waits for the walk to end by itself.
    void Wait();

    // The end check of the archive's last volume, made after a whole walk
    // while the window waits; read once Take has answered.
    const std::optional<TKnownEnd>& KnownEnd() const { return FKnownEnd; }

    // Walks still running in this process.
    static int Running();

private:
    void Walk();
    static int WalkerCallback(UINT msg, LPARAM UserData, LPARAM P1, LPARAM P2);
    void Note(const std::string& path);

    const std::string FFileName;
    const std::string FPassword;
    std::unique_ptr<TListingRecord> FRecord;
    std::atomic<bool> FStop{false};
    bool FUsable = false;  // the walk ended by itself and asked nothing
    bool FAsked = false;   // the library asked a question or was stopped
    std::optional<TKnownEnd> FKnownEnd;
    std::mutex FEndMutex;
    std::condition_variable FEndChanged;
    bool FEnded = false;
    std::thread FThread;
};
