#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "archive/untUnRar.h"

// The listing run of the window waits a second before it starts. Its header
// walk can be made meanwhile on a second thread with a handle of its own:
// the library's answers are recorded, and the listing run is later served
// from the record, through the same engine code, as if the library answered.
// Whatever the walk would have to ask, and any change of the archive or of
// the run's inputs, drops the record: the run then asks the library itself.

class TListingRecord;

// Makes the recorded walk. One per prepared listing; the destructor stops
// and joins the walk, so it must go before the library is freed.
class TListingRecorder {
public:
    TListingRecorder(std::string fileName, std::string password);
    ~TListingRecorder();
    TListingRecorder(const TListingRecorder&) = delete;
    TListingRecorder& operator=(const TListingRecorder&) = delete;

    // Waits for the walk to end, then hands over its record when the walk
    // was whole and was made for this file and password on the archive as
    // it is now; otherwise nothing.
    std::unique_ptr<TListingRecord> Take(const std::string& fileName, const std::string& password);
    // Ends the walk at its next step and waits for it.
    void Stop();
    // Waits for the walk to end by itself.
    void Wait();

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
    std::thread FThread;
};

// While it lives, the library's slots serve the record that `recorder`
// (when not null) hands over for this file and password, in place of the
// library. No other thread may call the library meanwhile.
class TReplayScope {
public:
    TReplayScope(TListingRecorder* recorder, const std::string& fileName, const std::string& password);
    ~TReplayScope();
    TReplayScope(const TReplayScope&) = delete;
    TReplayScope& operator=(const TReplayScope&) = delete;

    bool Serving() const { return FRecord != nullptr; }

private:
    // Puts the other set of slots in place: the replay's, then back.
    void SwapSlots();

    std::unique_ptr<TListingRecord> FRecord;
    struct {
        untUnRar::TRAROpenArchive open;
        untUnRar::TRARCloseArchive close;
        untUnRar::TRARReadHeaderEx readHeaderEx;
        untUnRar::TRARProcessFile processFile;
        untUnRar::TRARSetCallback setCallback;
        untUnRar::TRARSetPassword setPassword;
    } FOther{};
};
