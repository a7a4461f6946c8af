#pragma once

#include <atomic>
#include <cstdint>
#include <sys/stat.h>
#include <thread>

#include "archive/writer/FileJob.h"

// Writes and names one job at a time on a thread of its own, so the library
// can unpack the next entry meanwhile. The engine's thread posts a job and
// does not touch it again until Wait has returned it; the worker touches
// nothing but the job. Used from one thread.
class TWriterThread {
public:
    TWriterThread() = default;
    ~TWriterThread();
    TWriterThread(const TWriterThread&) = delete;
    TWriterThread& operator=(const TWriterThread&) = delete;

    // Only with a second processor to run on: on one, each side would spin
    // while the other cannot run.
    static bool Worthwhile();

    // True from Post until Wait.
    bool Busy() const { return FBusy; }
    const TFileJob& Job() const { return FJob; }
    // Starts the job; only when not Busy.
    void Post(TFileJob&& job);
    // The posted job's outcome, once it is done; the job comes back, so an
    // Exists can be asked about and named again.
    TFinished Wait(TFileJob& job, struct stat& st);

private:
    void Run();

    std::thread FThread;
    bool FBusy = false;
    // Written by the poster before FPosted moves, read by the worker after;
    // the outcome the other way round, through FDone.
    TFileJob FJob;
    TFinished FResult = TFinished::Failed;
    struct stat FStat {};
    std::atomic<uint32_t> FPosted{0};
    std::atomic<uint32_t> FDone{0};
    bool FQuit = false;
};
