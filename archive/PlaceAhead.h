#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "archive/Destination.h"

// A data entry the library has written under a temporary name, to be moved
// to its own name.
struct TFinishJob {
    int from = -1;  // the folder of the temporary name
    std::string temporary;
    int to = -1;  // the target's folder
    std::string base;
    std::string target;   // the path the existence test and the question name
    bool agreed = false;  // the entry may replace what stands there
};

enum class TFinished { Placed, Exists, IsFolder, Failed, NotFile };

inline TFinished Finished(TDestination::TPlace place)
{
    switch (place) {
    case TDestination::TPlace::Placed:
        return TFinished::Placed;
    case TDestination::TPlace::Exists:
        return TFinished::Exists;
    case TDestination::TPlace::IsFolder:
        return TFinished::IsFolder;
    case TDestination::TPlace::Failed:
        break;
    }
    return TFinished::Failed;
}

// Checks that what the library made is a regular file, clears set-user-ID
// and set-group-ID on it, and moves it to its name without replacing
// anything unless agreed. `st` is the file that was placed. Safe on any
// thread: it touches nothing but the two folders.
TFinished FinishData(const TFinishJob& job, struct stat& st);

// Runs FinishData for one entry at a time on a thread of its own, so the
// library can unpack the next entry meanwhile. Used from one thread.
class TPlaceAhead {
public:
    TPlaceAhead() = default;
    ~TPlaceAhead();
    // Only with a second processor to run on: on one, each side would spin
    // while the other cannot run.
    static bool Worthwhile();
    TPlaceAhead(const TPlaceAhead&) = delete;
    TPlaceAhead& operator=(const TPlaceAhead&) = delete;

    // True from Post until Wait.
    bool Busy() const { return FBusy; }
    const TFinishJob& Job() const { return FJob; }
    // Starts the job; only when not Busy.
    void Post(TFinishJob&& job);
    // The posted job's outcome, once it is done.
    TFinished Wait(struct stat& st);

private:
    void Run();

    std::thread FThread;
    bool FBusy = false;
    // Written by the poster before FPosted moves, read by the worker after;
    // the outcome the other way round, through FDone.
    TFinishJob FJob;
    TFinished FResult = TFinished::Failed;
    struct stat FStat {};
    std::atomic<uint32_t> FPosted{0};
    std::atomic<uint32_t> FDone{0};
    bool FQuit = false;
};
