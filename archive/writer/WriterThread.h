#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "archive/writer/FileJob.h"

// Makes and names files on a thread of its own, so the library can unpack
// meanwhile: a small entry whole, a large one in chunks as it comes. A job goes through two steps: once
// posted, its file is made and written without a name, which nobody can
// see; once released, it gets its name (or, withdrawn, goes). So a job can
// be made while the entry before it is still being told, and only the
// naming waits for the engine's word.
//
// The engine's thread posts a job and does not touch it again until Wait has
// returned it; the worker touches nothing but its jobs. At most two jobs are
// out at once. Used from one thread.
class TWriterThread {
public:
    TWriterThread() = default;
    ~TWriterThread();
    TWriterThread(const TWriterThread&) = delete;
    TWriterThread& operator=(const TWriterThread&) = delete;

    // Only with a second processor to run on: on one, each side would spin
    // while the other cannot run.
    static bool Worthwhile();

    // Called every `interval` while the engine's thread waits for the
    // worker, on a slow disk say, so a window can handle its messages. Not
    // while a run's end takes its jobs back.
    void WhileWaiting(std::function<void()> call, std::chrono::milliseconds interval);

    // True while a released or withdrawn job has not been waited for.
    bool Busy() const { return FWaited != FReleased; }
    // The oldest such job.
    const TFileJob& Job() const { return FSlots[FWaited % 2].job; }
    // True while the last job posted is not released.
    bool Held() const { return FReleased != FPosted; }
    // True while no job can be posted before one is waited for.
    bool Full() const { return FPosted - FWaited == 2; }

    // Starts making the job's file; only when neither Held nor Full. A job
    // marked `streamed` gets its data through Stream.
    void Post(TFileJob&& job);
    // Hands the next bytes of the streamed job posted last to the worker,
    // copied, a few chunks ahead of it at most.
    void Stream(const char* bytes, size_t size);
    // Lets the job posted last have its name.
    void Release();
    // Takes back the job posted last: it gets no name, its file goes, and
    // Wait returns it as Withdrawn.
    void Withdraw();
    // The outcome of the oldest job Busy, once it is done; the job comes
    // back, so an Exists can be asked about and named again.
    TFinished Wait(TFileJob& job, struct stat& st);
    // Takes back the job not yet released and waits for those that were,
    // their outcomes untold: for a run that ends.
    void Abandon();

    // The most bytes of a streamed job on their way at once.
    static constexpr size_t ChunkSize = 1 << 20;
    static constexpr uint32_t ChunkCount = 4;

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
    // The engine's wait for the worker to move `value` on from `old`.
    void AwaitWorker(const std::atomic<uint32_t>& value, uint32_t old);
    // The worker's word that `value` moved, to an engine that may be asleep.
    void WakeEngine(std::atomic<uint32_t>& value);
    // Ends the stream of the job posted last, when it has one.
    void EndStream();
    // Hands one chunk over once the worker has room; an empty one ends.
    void HandChunk(const char* bytes, size_t size);
    void Drain(TFileJob& job);

    std::thread FThread;
    // Slot `n % 2` holds job n. Written by the poster before the counter
    // that hands it over moves, read by the worker after; the outcome the
    // other way round, through FDone.
    TSlot FSlots[2];
    std::atomic<uint32_t> FPosted{0};
    std::atomic<uint32_t> FReleased{0};
    std::atomic<uint32_t> FDone{0};
    uint32_t FWaited = 0;  // the engine's own
    // The chunks of a streamed job, filled by the engine and written by the
    // worker in turn; an empty one ends the job's data.
    std::vector<char> FChunks[ChunkCount];
    std::atomic<uint32_t> FFilled{0};
    std::atomic<uint32_t> FDrained{0};
    bool FStreaming = false;  // the engine's own: the job posted last takes chunks
    std::atomic<bool> FQuit{false};
    // Set while the engine sleeps in AwaitWorker: only then does the worker
    // pay for a wake-up call.
    std::atomic<uint32_t> FEngineAsleep{0};
    std::function<void()> FWhileWaiting;
    std::chrono::milliseconds FWaitingInterval{16};
    bool FAbandoning = false;
};
