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
// meanwhile: a small entry whole, a large one in chunks as it comes. A job
// goes through two steps: once posted, its file is made and written without
// a name, which nobody can see; once released, it gets its name (or,
// withdrawn, goes). Up to `Slots` jobs are out at once. The worker makes the
// files of jobs posted ahead while it waits for the engine's word on the
// oldest, and names them strictly in the order they were posted.
//
// The engine's thread posts a job and does not touch it again until Wait has
// returned it, except to read its `target`, or to name it itself (NameHere)
// once the worker has made it and before it is released: the worker makes
// and names nothing else. The worker touches nothing but its jobs. Used
// from one thread.
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
    // Work the worker takes on, a step at a time, while it has no job and
    // has had time to spare of late; a step says whether it did anything.
    // Set before the first job is posted.
    void IdleWork(std::function<bool()> step) { FIdleWork = std::move(step); }

    // Jobs posted, released or withdrawn, and waited for, since the start.
    uint32_t Posted() const { return FPosted.load(std::memory_order_relaxed); }
    uint32_t Released() const { return FReleased.load(std::memory_order_relaxed); }
    uint32_t Waited() const { return FWaited; }
    // A job out, posted and not waited for: `index` from Waited to Posted.
    const TFileJob& Job(uint32_t index) const { return FSlots[index % Slots].job; }
    // True while no job can be posted before one is waited for.
    bool Full() const { return Posted() - FWaited == Slots; }
    // True when the oldest job out is done: Wait returns at once.
    bool Ready() const { return FDone.load(std::memory_order_acquire) != FWaited; }

    // Starts making the job's file; only when not Full, and not after a
    // streamed job still held. A job marked `streamed` gets its data through
    // Stream, and is posted only when no other job is out.
    void Post(TFileJob&& job);
    // Hands the next bytes of the streamed job posted last to the worker,
    // copied, a few chunks ahead of it at most.
    void Stream(const char* bytes, size_t size);
    // Lets the oldest job not released have its name.
    void Release();
    // While the worker is behind with the files of later jobs, the engine
    // names the oldest job not released itself, so the worker only makes
    // files: Named once its file is made, at once or, with `await`, after
    // waiting for it; Later when it is not made yet. Worker when the worker
    // keeps up, or the job is a stream: Release it instead.
    enum class THere { Named, Later, Worker };
    THere NameHere(bool await);
    // Takes back the oldest job not released: it gets no name, its file
    // goes, and Wait returns it as Withdrawn.
    void Withdraw();
    // The outcome of the oldest job out, once it is done; only once it is
    // released or withdrawn. The job comes back, so an Exists can be asked
    // about and named again.
    TFinished Wait(TFileJob& job);
    // Takes back every job not released and waits for those that were,
    // their outcomes untold: for a run that ends.
    void Abandon();

    static constexpr uint32_t Slots = 64;
    // The most bytes of a streamed job on their way at once.
    static constexpr size_t ChunkSize = 1 << 20;
    static constexpr uint32_t ChunkCount = 4;

private:
    struct TSlot {
        TFileJob job;
        bool name = true;  // released to be named, not withdrawn
        TFinished result = TFinished::Failed;
    };

    struct TAhead;
    // Jobs posted whose files the worker has not begun to make.
    uint32_t Backlog() const { return Posted() - FMaking.load(std::memory_order_relaxed); }
    void Run();
    // The worker's two steps for job `index`.
    void Make(uint32_t index, TAhead& ahead);
    void Name(uint32_t index);
    // The engine's word to the worker that it posted or released.
    void Signal();
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
    // Slot `n % Slots` holds job n. Written by the poster before the counter
    // that hands it over moves, read by the worker after; the outcome the
    // other way round, through FDone.
    TSlot FSlots[Slots];
    // The counters and flags lie on three cache lines by who writes them:
    // the engine, the worker, the engine alone. A store of one side then
    // takes from the other only the line it reads, not its own as well.
    static constexpr size_t Line = 64;
    alignas(Line) std::atomic<uint32_t> FPosted{0};
    std::atomic<uint32_t> FReleased{0};
    // Moves at every post and release: what the worker sleeps on.
    std::atomic<uint32_t> FSignal{0};
    std::atomic<uint32_t> FFilled{0};
    std::atomic<bool> FQuit{false};
    // Set while the engine sleeps in AwaitWorker: only then does the worker
    // pay for a wake-up call.
    std::atomic<uint32_t> FEngineAsleep{0};
    // The processor the engine ran on when it last signalled, and the one
    // the worker ran on when it last began to wait: neither spins for the
    // other on the same one.
    std::atomic<int> FEngineCpu{-1};
    alignas(Line) std::atomic<uint32_t> FDone{0};
    std::atomic<int> FWorkerCpu{-1};
    // Jobs whose files the worker has begun to make, and made.
    std::atomic<uint32_t> FMaking{0};
    std::atomic<uint32_t> FMade{0};
    std::atomic<uint32_t> FDrained{0};
    std::atomic<uint32_t> FWorkerAsleep{0};
    alignas(Line) uint32_t FWaited = 0;  // the engine's own
    bool FStreaming = false;             // the engine's own: the job posted last takes chunks
    // The chunks of a streamed job, filled by the engine and written by the
    // worker in turn (FFilled, FDrained); an empty one ends the job's data.
    std::vector<char> FChunks[ChunkCount];
    std::function<void()> FWhileWaiting;
    std::function<bool()> FIdleWork;
    std::chrono::milliseconds FWaitingInterval{16};
    bool FAbandoning = false;
};
