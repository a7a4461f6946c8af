#include "archive/writer/WriterThread.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace {

// Entries of small files follow each other every few tens of microseconds,
// and a thread that sleeps between them wakes too late to gain anything: the
// worker spins this long for its next entry before it sleeps. The run itself
// rarely waits for the worker, and only briefly.
constexpr std::chrono::microseconds WorkerSpin{1000};
constexpr std::chrono::microseconds RunSpin{50};
// A worker this many files behind is the slower side, on a disk where each
// new file is dear: the engine names the files for it meanwhile, and leaves
// it only the making.
constexpr uint32_t FarBehind = 8;
// The worker takes on idle work only after jobs that left it idle more than
// half the time: where each new file is dear, every moment it gives to
// anything else is a moment the engine waits. Measured over this many jobs.
constexpr uint32_t SpareWindow = 64;

// Whether this thread runs on the processor the other side last said it
// runs on. Spinning there only keeps the other side from running: on a busy
// machine the scheduler may put both threads on one processor, and a spinner
// that never sleeps is never placed anew when a processor falls idle.
bool SharesProcessor(const std::atomic<int>& other)
{
    return sched_getcpu() == other.load(std::memory_order_relaxed);
}

// Waits up to `spin` for `value` to differ from `old`, while the other side
// runs on another processor (`otherCpu`): whether it did.
bool SpinForChange(const std::atomic<uint32_t>& value, uint32_t old, std::chrono::microseconds spin,
                   const std::atomic<int>& otherCpu)
{
    if (SharesProcessor(otherCpu))
        return value.load(std::memory_order_acquire) != old;
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
        if (SharesProcessor(otherCpu) || (i % 8 == 0 && std::chrono::steady_clock::now() >= until))
            return false;
    }
}

// Waits, sleeping once the spin is over, until `value` differs from `old`.
void SleepForChange(const std::atomic<uint32_t>& value, uint32_t old)
{
    while (value.load(std::memory_order_acquire) == old)
        value.wait(old, std::memory_order_acquire);
}

void WaitChange(const std::atomic<uint32_t>& value, uint32_t old, std::chrono::microseconds spin,
                const std::atomic<int>& otherCpu)
{
    if (!SpinForChange(value, old, spin, otherCpu))
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
    Signal();
    FThread.join();
}

void TWriterThread::Signal()
{
    FEngineCpu.store(sched_getcpu(), std::memory_order_relaxed);
    FSignal.fetch_add(1, std::memory_order_seq_cst);
    if (FWorkerAsleep.load(std::memory_order_seq_cst))
        syscall(SYS_futex, &FSignal, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void TWriterThread::Post(TFileJob&& job)
{
    const uint32_t n = FPosted.load(std::memory_order_relaxed);
    TSlot& slot = FSlots[n % Slots];
    slot.job = std::move(job);
    slot.name = true;
    if (!FThread.joinable())
        FThread = std::thread([this] { Run(); });
    FStreaming = slot.job.streamed;
    FPosted.store(n + 1, std::memory_order_release);
    Signal();
}

void TWriterThread::WhileWaiting(std::function<void()> call, std::chrono::milliseconds interval)
{
    FWhileWaiting = std::move(call);
    FWaitingInterval = interval;
}

void TWriterThread::Abandon()
{
    // A run that ends, perhaps by an exception, asks nobody anything more.
    FAbandoning = true;
    struct TAbandoning {
        bool& on;
        ~TAbandoning() { on = false; }
    } abandoning{FAbandoning};
    while (Released() != Posted())
        Withdraw();
    while (FWaited != Posted()) {
        TFileJob job;
        Wait(job);
    }
}

// The kernel waits on the counters themselves.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free);

void TWriterThread::AwaitWorker(const std::atomic<uint32_t>& value, uint32_t old)
{
    if (SpinForChange(value, old, RunSpin, FWorkerCpu))
        return;
    const bool keepAlive = FWhileWaiting && !FAbandoning;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(FWaitingInterval);
    const timespec step{static_cast<time_t>(seconds.count()),
                        static_cast<long>(std::chrono::nanoseconds(FWaitingInterval - seconds).count())};
    while (value.load(std::memory_order_acquire) == old) {
        // Said before the last look, so a worker that moves the value after
        // it sees the flag and wakes this thread.
        FEngineAsleep.store(1, std::memory_order_seq_cst);
        if (value.load(std::memory_order_seq_cst) == old)
            syscall(SYS_futex, const_cast<std::atomic<uint32_t>*>(&value), FUTEX_WAIT_PRIVATE, old,
                    keepAlive ? &step : nullptr, nullptr, 0);
        FEngineAsleep.store(0, std::memory_order_relaxed);
        if (keepAlive && value.load(std::memory_order_acquire) == old)
            FWhileWaiting();
    }
}

void TWriterThread::WakeEngine(std::atomic<uint32_t>& value)
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (FEngineAsleep.load(std::memory_order_relaxed))
        syscall(SYS_futex, &value, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
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
    // Over only once the end is handed: the keep-alive of a wait for room
    // may throw, and the run's end must then still end the stream.
    HandChunk(nullptr, 0);
    FStreaming = false;
}

void TWriterThread::HandChunk(const char* bytes, size_t size)
{
    const uint32_t filled = FFilled.load(std::memory_order_relaxed);
    if (filled - FDrained.load(std::memory_order_acquire) == ChunkCount)
        AwaitWorker(FDrained, filled - ChunkCount);
    FChunks[filled % ChunkCount].assign(bytes, bytes + size);
    FFilled.store(filled + 1, std::memory_order_release);
    FFilled.notify_one();
}

void TWriterThread::Drain(TFileJob& job)
{
    for (uint32_t drained = FDrained.load(std::memory_order_relaxed);; ++drained) {
        if (FFilled.load(std::memory_order_acquire) == drained) {
            FWorkerCpu.store(sched_getcpu(), std::memory_order_relaxed);
            WaitChange(FFilled, drained, WorkerSpin, FEngineCpu);
        }
        const std::vector<char>& chunk = FChunks[drained % ChunkCount];
        const bool end = chunk.empty();
        // After a failure the rest is taken and dropped: the engine must not wait.
        job.Write(chunk.data(), chunk.size());
        FDrained.store(drained + 1, std::memory_order_release);
        WakeEngine(FDrained);
        if (end)
            return;
    }
}

void TWriterThread::Release()
{
    // Only the job posted last can be a stream, and it ends before its name.
    if (Released() + 1 == Posted())
        EndStream();
    FReleased.fetch_add(1, std::memory_order_release);
    Signal();
}

void TWriterThread::Withdraw()
{
    FSlots[Released() % Slots].name = false;
    Release();
}

TWriterThread::THere TWriterThread::NameHere(bool await)
{
    const uint32_t index = Released();
    // A stream ends with its release, and only the job posted last can be one.
    if (Backlog() == 0 || (FStreaming && index + 1 == Posted()))
        return THere::Worker;
    if (FMade.load(std::memory_order_acquire) == index) {
        if (!await)
            return Backlog() > FarBehind ? THere::Later : THere::Worker;
        AwaitWorker(FMade, index);
    }
    TSlot& slot = FSlots[index % Slots];
    TFileJob& job = slot.job;
    slot.result = job.whole ? LinkFile(job) : TFinished::Failed;
    if (slot.result == TFinished::Placed)
        close(std::exchange(job.file, -1));
    // Done before released: a worker that sees the release sees it named.
    FDone.store(index + 1, std::memory_order_release);
    FReleased.store(index + 1, std::memory_order_release);
    return THere::Named;
}

TFinished TWriterThread::Wait(TFileJob& job)
{
    const uint32_t index = FWaited;
    if (FDone.load(std::memory_order_acquire) == index)
        AwaitWorker(FDone, index);
    ++FWaited;
    TSlot& slot = FSlots[index % Slots];
    job = std::move(slot.job);
    return slot.result;
}

// While it waits for a job, the worker makes the next one's file ahead, in
// the folder and with the mode of the job before: most entries share both.
// Unnamed, it is gone without a trace if no job takes it; a worker that
// goes to sleep lets it and its folder go.
struct TWriterThread::TAhead {
    TFolderShare share;
    mode_t mode = 0;
    int file = -1;
    bool refused = false;  // the folder's file system has no unnamed files
    // Whether the last job took the folder and mode of the one before: where
    // each entry goes elsewhere, as in a solid archive sorted by type, a
    // file made ahead would only be thrown away.
    bool worthwhile = true;
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
    void Make()
    {
        if (worthwhile && share && file < 0 && !refused) {
            file = MakeUnnamed(share->Fd(), mode);
            refused = file < 0;
        }
    }
    // The file made ahead when it suits `job`, else -1; follows the job's
    // folder and mode from now on.
    int Take(const TFileJob& job)
    {
        int ready = -1;
        worthwhile = share == job.folderShare && ((mode ^ job.mode) & 0777) == 0;
        if (share != job.folderShare) {
            Drop();
            share = job.folderShare;
        } else if (worthwhile) {
            ready = std::exchange(file, -1);
        }
        Close();
        mode = job.mode;
        return ready;
    }
};

// Made and written before the engine's word: a file without a name changes
// nothing anybody can see.
void TWriterThread::Make(uint32_t index, TAhead& ahead)
{
    TFileJob& job = FSlots[index % Slots].job;
    if (job.Make(ahead.Take(job)) && !job.streamed)
        job.Write(job.data.data(), job.data.size());
    if (job.streamed)
        Drain(job);
    job.Seal();
}

void TWriterThread::Name(uint32_t index)
{
    TSlot& slot = FSlots[index % Slots];
    TFileJob& job = slot.job;
    int named = -1;  // closed once the engine has the outcome
    if (!slot.name) {
        job.Discard();
        slot.result = TFinished::Withdrawn;
    } else {
        slot.result = job.whole ? LinkFile(job) : TFinished::Failed;
        if (slot.result == TFinished::Placed)
            named = std::exchange(job.file, -1);
    }
    FDone.store(index + 1, std::memory_order_release);
    WakeEngine(FDone);
    if (named >= 0)
        close(named);
}

namespace {

// How much of the worker's time went to waiting for jobs, over the last
// window of them.
class TSpareTime {
public:
    // Called as a job begins.
    void Job(uint32_t made)
    {
        if (FIdle) {
            const auto now = std::chrono::steady_clock::now();
            FIdleTime += now - FIdleFrom;
            FIdle = false;
            if (made - FWindowFrom >= SpareWindow) {
                FSpare = FIdleTime * 2 > now - FWindowStart;
                FWindowFrom = made;
                FWindowStart = now;
                FIdleTime = {};
            }
        }
    }
    // Called once there is no job; idle work counts as time to spare.
    void Idle()
    {
        if (!FIdle) {
            FIdle = true;
            FIdleFrom = std::chrono::steady_clock::now();
        }
    }
    bool Spare() const { return FSpare; }

private:
    bool FSpare = false;
    bool FIdle = false;
    uint32_t FWindowFrom = 0;
    std::chrono::steady_clock::time_point FWindowStart = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point FIdleFrom;
    std::chrono::steady_clock::duration FIdleTime{};
};

}  // namespace

void TWriterThread::Run()
{
    TAhead ahead;
    TSpareTime spare;
    uint32_t make = 0;
    for (;;) {
        const uint32_t signal = FSignal.load(std::memory_order_acquire);
        if (FQuit.load(std::memory_order_relaxed))
            return;
        // Naming first: the engine waits for outcomes, never for files made
        // ahead. The released count is read first: the engine names a job
        // itself before it counts it released.
        const uint32_t released = FReleased.load(std::memory_order_acquire);
        const uint32_t name = FDone.load(std::memory_order_relaxed);
        if (name != make && static_cast<int32_t>(released - name) > 0) {
            Name(name);
            continue;
        }
        if (make != FPosted.load(std::memory_order_acquire)) {
            if (FIdleWork)
                spare.Job(make);
            FMaking.store(make + 1, std::memory_order_relaxed);
            Make(make, ahead);
            FMade.store(++make, std::memory_order_release);
            WakeEngine(FMade);
            continue;
        }
        ahead.Make();
        if (FIdleWork) {
            spare.Idle();
            // A job posted meanwhile waits for one step at most.
            if (spare.Spare() && FSignal.load(std::memory_order_acquire) == signal && FIdleWork())
                continue;
        }
        FWorkerCpu.store(sched_getcpu(), std::memory_order_relaxed);
        if (FSignal.load(std::memory_order_acquire) != signal || SpinForChange(FSignal, signal, WorkerSpin, FEngineCpu))
            continue;
        ahead.Drop();
        // Said before the last look, so an engine that signals after it
        // sees the flag and wakes this thread.
        FWorkerAsleep.store(1, std::memory_order_seq_cst);
        if (FSignal.load(std::memory_order_seq_cst) == signal)
            syscall(SYS_futex, &FSignal, FUTEX_WAIT_PRIVATE, signal, nullptr, nullptr, 0);
        FWorkerAsleep.store(0, std::memory_order_relaxed);
    }
}
