#pragma once

#include <atomic>
#include <cstdint>
#include <sys/stat.h>
#include <thread>

#include "archive/writer/FileJob.h"

// Makes and names small files on a thread of its own, so the library can
// unpack the next entry meanwhile. A job goes through two steps: once
// posted, its file is made and written without a name, which nobody can
// see; once released, it gets its name (or, withdrawn, goes). So a job can
// be made while the entry before it is still being told, and only the
// naming waits for the engine's word.
//
// The engine's thread posts a job and does not touch it again until Wait or
// Withdraw has returned it; the worker touches nothing but its jobs. At most
// two jobs are out at once: one released, one posted. Used from one thread.
class TWriterThread {
public:
    TWriterThread() = default;
    ~TWriterThread();
    TWriterThread(const TWriterThread&) = delete;
    TWriterThread& operator=(const TWriterThread&) = delete;

    // Only with a second processor to run on: on one, each side would spin
    // while the other cannot run.
    static bool Worthwhile();

    // True while a released job has not been waited for.
    bool Busy() const { return FWaited != FReleased; }
    // That job.
    const TFileJob& Job() const { return FSlots[FWaited % 2].job; }
    // True while the last job posted is not released.
    bool Held() const { return FReleased != FPosted; }

    // Starts making the job's file; only when not Held and with at most one
    // job Busy.
    void Post(TFileJob&& job);
    // Lets the job posted last have its name.
    void Release();
    // Takes back the job posted last, once none is Busy: it gets no name,
    // and its file goes.
    TFileJob Withdraw();
    // The outcome of the released job, once it is done; the job comes back,
    // so an Exists can be asked about and named again.
    TFinished Wait(TFileJob& job, struct stat& st);

private:
    struct TSlot {
        TFileJob job;
        bool name = true;  // released to be named, not withdrawn
        bool made = false;
        TFinished result = TFinished::Failed;
        struct stat st {};
    };

    void Run();
    TSlot& Finish(uint32_t index);

    std::thread FThread;
    // Slot `n % 2` holds job n. Written by the poster before the counter
    // that hands it over moves, read by the worker after; the outcome the
    // other way round, through FDone.
    TSlot FSlots[2];
    std::atomic<uint32_t> FPosted{0};
    std::atomic<uint32_t> FReleased{0};
    std::atomic<uint32_t> FDone{0};
    uint32_t FWaited = 0;  // the engine's own
    std::atomic<bool> FQuit{false};
};
