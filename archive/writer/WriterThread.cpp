#include "archive/writer/WriterThread.h"

#include <chrono>
#include <sched.h>

namespace {

// Entries of small files follow each other every few tens of microseconds,
// and a thread that sleeps between them wakes too late to gain anything: the
// worker spins this long for its next entry before it sleeps. The run itself
// rarely waits for the worker, and only briefly.
constexpr std::chrono::microseconds WorkerSpin{1000};
constexpr std::chrono::microseconds RunSpin{50};

// Waits until `value` differs from `old`; the value seen.
uint32_t WaitChange(const std::atomic<uint32_t>& value, uint32_t old, std::chrono::microseconds spin)
{
    // The other side is most often done within a few microseconds: a short
    // spin in place costs less than a call into the kernel.
    for (unsigned i = 0; i < 256; ++i) {
        const uint32_t now = value.load(std::memory_order_acquire);
        if (now != old)
            return now;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    const auto until = std::chrono::steady_clock::now() + spin;
    for (unsigned i = 1;; ++i) {
        const uint32_t now = value.load(std::memory_order_acquire);
        if (now != old)
            return now;
        // Yielding, not idling: on two processors the window and the
        // display server must not wait for a thread that only waits.
        sched_yield();
        if (i % 8 == 0 && std::chrono::steady_clock::now() >= until)
            break;
    }
    for (;;) {
        value.wait(old, std::memory_order_acquire);
        const uint32_t now = value.load(std::memory_order_acquire);
        if (now != old)
            return now;
    }
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
    if (FBusy) {
        TFileJob job;
        struct stat st {};
        Wait(job, st);
    }
    FQuit = true;
    FPosted.fetch_add(1, std::memory_order_release);
    FPosted.notify_one();
    FThread.join();
}

void TWriterThread::Post(TFileJob&& job)
{
    FJob = std::move(job);
    FBusy = true;
    if (!FThread.joinable())
        FThread = std::thread([this] { Run(); });
    FPosted.fetch_add(1, std::memory_order_release);
    FPosted.notify_one();
}

TFinished TWriterThread::Wait(TFileJob& job, struct stat& st)
{
    const uint32_t posted = FPosted.load(std::memory_order_relaxed);
    uint32_t done = FDone.load(std::memory_order_acquire);
    while (done != posted)
        done = WaitChange(FDone, done, RunSpin);
    FBusy = false;
    st = FStat;
    job = std::move(FJob);
    return FResult;
}

void TWriterThread::Run()
{
    uint32_t seen = 0;
    for (;;) {
        seen = WaitChange(FPosted, seen, WorkerSpin);
        if (FQuit)
            return;
        if (FJob.Make())
            FJob.Write(FJob.data.data(), FJob.data.size());
        FResult = NameFile(FJob, FStat);
        // A file with its name needs nothing more: its descriptors go here,
        // not on the engine's thread.
        if (FResult == TFinished::Placed)
            FJob.Discard();
        FDone.store(seen, std::memory_order_release);
        FDone.notify_one();
    }
}
