#include "archive/writer/WriterThread.h"

#include <algorithm>
#include <chrono>
#include <sched.h>
#include <unistd.h>
#include <utility>

namespace {

// Entries of small files follow each other every few tens of microseconds,
// and a thread that sleeps between them wakes too late to gain anything: the
// worker spins this long for its next entry before it sleeps. The run itself
// rarely waits for the worker, and only briefly.
constexpr std::chrono::microseconds WorkerSpin{1000};
constexpr std::chrono::microseconds RunSpin{50};

// Waits up to `spin` for `value` to differ from `old`: whether it did.
bool SpinForChange(const std::atomic<uint32_t>& value, uint32_t old, std::chrono::microseconds spin)
{
    // The other side is most often done within a few microseconds: a short
    // spin in place costs less than a call into the kernel.
    for (unsigned i = 0; i < 256; ++i) {
        if (value.load(std::memory_order_acquire) != old)
            return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    const auto until = std::chrono::steady_clock::now() + spin;
    for (unsigned i = 1;; ++i) {
        if (value.load(std::memory_order_acquire) != old)
            return true;
        // Yielding, not idling: on two processors the window and the
        // display server must not wait for a thread that only waits.
        sched_yield();
        if (i % 8 == 0 && std::chrono::steady_clock::now() >= until)
            return false;
    }
}

// Waits, sleeping once the spin is over, until `value` differs from `old`.
void SleepForChange(const std::atomic<uint32_t>& value, uint32_t old)
{
    while (value.load(std::memory_order_acquire) == old)
        value.wait(old, std::memory_order_acquire);
}

void WaitChange(const std::atomic<uint32_t>& value, uint32_t old, std::chrono::microseconds spin)
{
    if (!SpinForChange(value, old, spin))
        SleepForChange(value, old);
}

}  // namespace

bool TWriterThread::Worthwhile()
{
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    return sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) >= 2;
}

TWriterThread::~TWriterThread()
{
    if (!FThread.joinable())
        return;
    Abandon();
    FQuit.store(true, std::memory_order_relaxed);
    FPosted.fetch_add(1, std::memory_order_release);
    FPosted.notify_one();
    FThread.join();
}

void TWriterThread::Post(TFileJob&& job)
{
    const uint32_t n = FPosted.load(std::memory_order_relaxed);
    TSlot& slot = FSlots[n % 2];
    slot.job = std::move(job);
    slot.name = true;
    if (!FThread.joinable())
        FThread = std::thread([this] { Run(); });
    FStreaming = slot.job.streamed;
    FPosted.store(n + 1, std::memory_order_release);
    FPosted.notify_one();
}

void TWriterThread::Abandon()
{
    if (Held())
        Withdraw();
    while (Busy()) {
        TFileJob job;
        struct stat st {};
        Wait(job, st);
    }
}

void TWriterThread::Stream(const char* bytes, size_t size)
{
    while (size > 0) {
        const size_t part = std::min(size, ChunkSize);
        HandChunk(bytes, part);
        bytes += part;
        size -= part;
    }
}

void TWriterThread::EndStream()
{
    if (!FStreaming)
        return;
    FStreaming = false;
    HandChunk(nullptr, 0);
}

void TWriterThread::HandChunk(const char* bytes, size_t size)
{
    const uint32_t filled = FFilled.load(std::memory_order_relaxed);
    if (filled - FDrained.load(std::memory_order_acquire) == ChunkCount)
        WaitChange(FDrained, filled - ChunkCount, RunSpin);
    FChunks[filled % ChunkCount].assign(bytes, bytes + size);
    FFilled.store(filled + 1, std::memory_order_release);
    FFilled.notify_one();
}

void TWriterThread::Drain(TFileJob& job)
{
    for (uint32_t drained = FDrained.load(std::memory_order_relaxed);; ++drained) {
        if (FFilled.load(std::memory_order_acquire) == drained)
            WaitChange(FFilled, drained, WorkerSpin);
        const std::vector<char>& chunk = FChunks[drained % ChunkCount];
        const bool end = chunk.empty();
        // After a failure the rest is taken and dropped: the engine must not wait.
        job.Write(chunk.data(), chunk.size());
        FDrained.store(drained + 1, std::memory_order_release);
        FDrained.notify_one();
        if (end)
            return;
    }
}

void TWriterThread::Release()
{
    EndStream();
    FReleased.fetch_add(1, std::memory_order_release);
    FReleased.notify_one();
}

void TWriterThread::Withdraw()
{
    FSlots[FReleased.load(std::memory_order_relaxed) % 2].name = false;
    Release();
}

TFinished TWriterThread::Wait(TFileJob& job, struct stat& st)
{
    TSlot& slot = Finish(FWaited);
    st = slot.st;
    job = std::move(slot.job);
    return slot.result;
}

TWriterThread::TSlot& TWriterThread::Finish(uint32_t index)
{
    if (FDone.load(std::memory_order_acquire) == index)
        WaitChange(FDone, index, RunSpin);
    ++FWaited;
    return FSlots[index % 2];
}

void TWriterThread::Run()
{
    // While it waits for a job, the worker makes the next one's file ahead,
    // in the folder and with the mode of the job before: most entries share
    // both. Unnamed, it is gone without a trace if no job takes it; a
    // worker that goes to sleep lets it and its folder go.
    struct TAhead {
        TFolderShare share;
        mode_t mode = 0;
        int file = -1;
        bool refused = false;  // the folder's file system has no unnamed files
        ~TAhead() { Drop(); }
        void Close()
        {
            if (file >= 0)
                close(file);
            file = -1;
        }
        void Drop()
        {
            Close();
            share.reset();
            refused = false;
        }
    } ahead;
    for (uint32_t next = 0;; ++next) {
        if (ahead.share && ahead.file < 0 && !ahead.refused && FPosted.load(std::memory_order_acquire) == next) {
            ahead.file = MakeUnnamed(ahead.share->Fd(), ahead.mode);
            ahead.refused = ahead.file < 0;
        }
        if (!SpinForChange(FPosted, next, WorkerSpin)) {
            ahead.Drop();
            SleepForChange(FPosted, next);
        }
        if (FQuit.load(std::memory_order_relaxed))
            return;
        TSlot& slot = FSlots[next % 2];
        TFileJob& job = slot.job;
        int ready = -1;
        if (ahead.share != job.folderShare) {
            ahead.Drop();
            ahead.share = job.folderShare;
        } else if (((ahead.mode ^ job.mode) & 0777) == 0) {
            ready = std::exchange(ahead.file, -1);
        }
        ahead.Close();
        ahead.mode = job.mode;
        // Made and written before the engine's word: a file without a name
        // changes nothing anybody can see.
        if (job.Make(ready) && !job.streamed)
            job.Write(job.data.data(), job.data.size());
        if (job.streamed)
            Drain(job);
        slot.made = SealFile(job, slot.st);
        WaitChange(FReleased, next, WorkerSpin);
        int named = -1;  // closed once the engine has the outcome
        if (!slot.name) {
            job.Discard();
            slot.result = TFinished::Withdrawn;
        } else {
            slot.result = slot.made ? LinkFile(job) : TFinished::Failed;
            if (slot.result == TFinished::Placed)
                named = std::exchange(job.file, -1);
        }
        FDone.store(next + 1, std::memory_order_release);
        FDone.notify_one();
        if (named >= 0)
            close(named);
    }
}
