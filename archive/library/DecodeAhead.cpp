#include "archive/library/DecodeAhead.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <cwchar>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace {

uint64_t UnpackedSize(const RARHeaderDataEx& h)
{
    return (static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize;
}

std::wstring_view NameOf(const RARHeaderDataEx& h)
{
    return {h.FileNameW, wcsnlen(h.FileNameW, std::size(h.FileNameW))};
}

// What makes an entry's header the same one on both handles, besides its name.
auto KeyFields(const RARHeaderDataEx& h)
{
    std::array<char, sizeof h.Hash> hash{};
    std::memcpy(hash.data(), h.Hash, hash.size());
    return std::tuple(h.Flags, h.PackSize, h.PackSizeHigh, h.UnpSize, h.UnpSizeHigh, h.HostOS, h.FileCRC, h.Method,
                      h.FileAttr, h.DictSize, h.HashType, h.MtimeLow, h.MtimeHigh, hash);
}

struct TEntryKey {
    std::wstring name;
    decltype(KeyFields(std::declval<const RARHeaderDataEx&>())) fields;

    static TEntryKey Of(const RARHeaderDataEx& h) { return {std::wstring(NameOf(h)), KeyFields(h)}; }
    // Compared on the run's thread for every entry it takes: nothing allocated.
    bool Is(const RARHeaderDataEx& h) const { return fields == KeyFields(h) && name == NameOf(h); }
};

// The stored method: nothing to unpack, so nothing to gain.
constexpr unsigned StoredMethod = 0x30;
// A larger dictionary would make the second handle hold as much again.
constexpr unsigned DictionaryLimitKiB = 4096;

}  // namespace

bool TAheadCalls::Small(const RARHeaderDataEx& h)
{
    return !(h.Flags & (RHDF_SPLITBEFORE | RHDF_SPLITAFTER | RHDF_ENCRYPTED | RHDF_SOLID | RHDF_DIRECTORY)) &&
           h.RedirType == 0 && h.Method != StoredMethod && h.DictSize <= DictionaryLimitKiB &&
           UnpackedSize(h) <= EntryLimit;
}

// The second handle's walk, made a step at a time by a thread with time to
// spare; one thread steps at a time, and the walk's handle, header and
// entry are that thread's while it steps. What the run's thread sees of it
// passes through the mutex. The walk takes the small entries that
// TAheadCalls::Ahead gives it, from the header `from` on, and tests each
// unless the run has already come to it; it stays at most ResultsLimit
// entries and BytesLimit bytes ahead of the run, and ends at the first
// thing out of the ordinary.
class TDecodeAhead {
public:
    struct TResult {
        uint32_t index = 0;
        TEntryKey key;
        std::vector<char> data;
        std::vector<uint32_t> chunks;  // the library's chunks, as it handed them
    };

    TDecodeAhead(std::string arcName, uint32_t from) : FArcName(std::move(arcName)), FFrom(from) {}

    // Called once no step runs any more.
    ~TDecodeAhead()
    {
        if (FHandle)
            untUnRar::Library.RARCloseArchive(FHandle);
    }

    // The entry at `index`, if the second handle unpacked it whole. Waits
    // only while that entry is being unpacked; `wanted` false passes it by.
    std::optional<TResult> Take(uint32_t index, bool wanted, const std::function<bool()>& whileWaiting,
                                std::chrono::milliseconds step)
    {
        std::unique_lock lock(FMutex);
        while (!FResults.empty() && FResults.front().index < index)
            Pop();
        if (wanted && FClaimed == index) {
            // An entry under way is a few microseconds from done: a short
            // spin costs less than a sleep and a wake.
            lock.unlock();
            const auto until = std::chrono::steady_clock::now() + SpinFor;
            for (unsigned i = 1; FClaimedNow.load(std::memory_order_acquire) == index; ++i) {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
                if (i % 64 == 0 && std::chrono::steady_clock::now() >= until)
                    break;
            }
            lock.lock();
        }
        while (wanted && FClaimed == index) {
            if (FChanged.wait_for(lock, step) == std::cv_status::timeout) {
                lock.unlock();
                const bool goOn = !whileWaiting || whileWaiting();
                lock.lock();
                if (!goOn)
                    break;
            }
        }
        std::optional<TResult> taken;
        if (!FResults.empty() && FResults.front().index == index) {
            if (wanted)
                taken = std::move(FResults.front());
            FBytes -= taken ? taken->data.size() : FResults.front().data.size();
            FResults.pop_front();
        }
        // Decided here: the walk does not begin it any more.
        FPassed = index;
        return taken;
    }

    // Walks on by a few headers, or tests one entry: false when there is
    // nothing to do now.
    bool Step()
    {
        if (FEnded)
            return false;
        try {
            if (!FHandle)
                return Open() || End();
            for (int headers = 0; headers < StepHeaders; ++headers) {
                const untUnRar::TUnRarLibrary& l = untUnRar::Library;
                if (!FPending) {
                    if (l.RARReadHeaderEx(FHandle, FHeader.get()) != ERAR_SUCCESS)
                        return End();
                    FPending = true;
                    FPendingIndex = FIndex++;
                    FMine = TAheadCalls::Small(*FHeader) && TAheadCalls::Ahead(FRank++) && FPendingIndex >= FFrom;
                }
                if (FMine) {
                    switch (Claim(FPendingIndex)) {
                    case TClaim::NoRoom:
                        return headers > 0;
                    case TClaim::Claimed:
                        FPending = false;
                        return Test() || End();
                    case TClaim::Passed:
                        break;
                    }
                }
                FPending = false;
                if (l.RARProcessFile(FHandle, RAR_SKIP, nullptr, nullptr) != ERAR_SUCCESS)
                    return End();
            }
            return true;
        } catch (...) {
            // Only a speed-up: the run unpacks the rest itself.
            return End();
        }
    }

private:
    static constexpr size_t ResultsLimit = 64;
    static constexpr size_t BytesLimit = 2 << 20;
    // Headers passed in one step at most, so the stepping thread soon
    // looks at its own work again.
    static constexpr int StepHeaders = 8;
    static constexpr uint32_t None = UINT32_MAX;
    static constexpr std::chrono::microseconds SpinFor{50};
    enum class TClaim { Claimed, Passed, NoRoom };

    void Pop()
    {
        FBytes -= FResults.front().data.size();
        FResults.pop_front();
    }

    bool Open()
    {
        std::vector<char> name(FArcName.begin(), FArcName.end());
        name.push_back('\0');
        RAROpenArchiveDataEx open{};
        open.ArcName = name.data();
        open.OpenMode = RAR_OM_EXTRACT;
        open.Callback = &TDecodeAhead::Callback;
        open.UserData = reinterpret_cast<LPARAM>(this);
        const untUnRar::TUnRarLibrary& l = untUnRar::Library;
        FHandle = l.RAROpenArchiveEx ? l.RAROpenArchiveEx(&open) : nullptr;
        if (FHandle && open.OpenResult != ERAR_SUCCESS) {
            l.RARCloseArchive(FHandle);
            FHandle = nullptr;
        }
        // Only an archive whose entries stand alone, in one volume, with
        // headers anyone may read, is walked.
        if (!FHandle || (open.Flags & (ROADF_VOLUME | ROADF_SOLID | ROADF_ENCHEADERS)))
            return false;
        FHeader = std::make_unique<RARHeaderDataEx>();
        FRedirName.assign(RedirNameCapacity, L'\0');
        FHeader->RedirName = FRedirName.data();
        FHeader->RedirNameSize = RedirNameCapacity;
        return true;
    }

    // Always false: the walk is over, and the run unpacks the rest itself.
    bool End()
    {
        FEnded = true;
        {
            std::lock_guard lock(FMutex);
            FClaimed = None;
            FClaimedNow.store(None, std::memory_order_release);
        }
        FChanged.notify_all();
        return false;
    }

    // Whether the walk may test the entry at `index`: the run has not come
    // to it, and there is room ahead of the run.
    TClaim Claim(uint32_t index)
    {
        std::lock_guard lock(FMutex);
        if (FPassed >= static_cast<int64_t>(index))
            return TClaim::Passed;
        if (FResults.size() >= ResultsLimit || FBytes >= BytesLimit)
            return TClaim::NoRoom;
        FClaimed = index;
        FClaimedNow.store(index, std::memory_order_release);
        return TClaim::Claimed;
    }

    bool Test()
    {
        FEntry = TResult{FPendingIndex, TEntryKey::Of(*FHeader), {}, {}};
        FEntry.data.reserve(UnpackedSize(*FHeader));
        FRefused = false;
        const int r = untUnRar::Library.RARProcessFile(FHandle, RAR_TEST, nullptr, nullptr);
        const bool whole = r == ERAR_SUCCESS && !FRefused;
        {
            std::lock_guard lock(FMutex);
            FClaimed = None;
            FClaimedNow.store(None, std::memory_order_release);
            if (whole) {
                FBytes += FEntry.data.size();
                FResults.push_back(std::move(FEntry));
            }
        }
        FChanged.notify_all();
        return whole;
    }

    static int Callback(UINT msg, LPARAM userData, LPARAM p1, LPARAM p2)
    {
        auto* self = reinterpret_cast<TDecodeAhead*>(userData);
        TResult& e = self->FEntry;
        // A question (a password, a volume) is the run's to ask; more data
        // than an entry unpacked ahead may hold is the run's to judge.
        if (msg != UCM_PROCESSDATA || p2 < 0 || e.data.size() + static_cast<size_t>(p2) > TAheadCalls::EntryLimit) {
            self->FRefused = true;
            return -1;
        }
        // Nothing may unwind through the library's frames.
        try {
            const char* bytes = reinterpret_cast<const char*>(p1);
            e.data.insert(e.data.end(), bytes, bytes + p2);
            e.chunks.push_back(static_cast<uint32_t>(p2));
        } catch (...) {
            self->FRefused = true;
            return -1;
        }
        return 0;
    }

    const std::string FArcName;
    const uint32_t FFrom;
    // The stepping thread's.
    HANDLE FHandle = nullptr;
    std::unique_ptr<RARHeaderDataEx> FHeader;
    std::vector<wchar_t> FRedirName;
    bool FEnded = false;
    bool FPending = false;  // a header read, not yet passed or tested
    bool FMine = false;
    uint32_t FPendingIndex = 0;
    uint32_t FIndex = 0;
    uint32_t FRank = 0;
    TResult FEntry;
    bool FRefused = false;
    // Shared with the run's thread.
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<TResult> FResults;
    size_t FBytes = 0;
    uint32_t FClaimed = None;
    std::atomic<uint32_t> FClaimedNow{None};  // FClaimed, for a look without the mutex
    int64_t FPassed = -1;                     // the run decided every entry up to this one
};

// ---- TAheadCalls ------------------------------------------------------------

TAheadCalls::TAheadCalls() = default;

TAheadCalls::~TAheadCalls() = default;

void TAheadCalls::WhileWaiting(std::function<bool()> wait, std::chrono::milliseconds step)
{
    FWait = std::move(wait);
    FStep = step;
}

bool TAheadCalls::Open(RAROpenArchiveData& data)
{
    FAhead.reset();
    FArcName = data.ArcName ? data.ArcName : "";
    FOpenMode = data.OpenMode;
    FHeader = nullptr;
    FIndex = FRead = FSmall = FTaken = 0;
    FCurrentSmall = FCurrentAhead = false;
    FStartFailed = false;
    return FLibrary.Open(data);
}

int TAheadCalls::Close()
{
    // The second handle goes first: it reads the archive too.
    EndAhead();
    return FLibrary.Close();
}

void TAheadCalls::EndAhead()
{
    {
        // Waits for a step under way.
        std::lock_guard lock(FStepMutex);
        FStepping = nullptr;
    }
    FAhead.reset();
}

bool TAheadCalls::StepAhead()
{
    std::unique_lock lock(FStepMutex, std::try_to_lock);
    return lock && FStepping && FStepping->Step();
}

int TAheadCalls::ReadHeader(RARHeaderDataEx& header)
{
    const int r = FLibrary.ReadHeader(header);
    ++FIndex;
    FHeader = &header;
    FCurrentSmall = r == ERAR_SUCCESS && Small(header);
    FCurrentAhead = false;
    if (r == ERAR_SUCCESS) {
        ++FRead;
        if (FCurrentSmall && Ahead(FSmall++) && FAhead)
            FCurrentAhead = true;
    }
    return r;
}

int TAheadCalls::ProcessFile(int operation, char* destPath, char* destName)
{
    const bool test = operation == RAR_TEST && !destName && FOpenMode == RAR_OM_EXTRACT;
    if (std::exchange(FCurrentAhead, false)) {
        std::optional<TDecodeAhead::TResult> entry = FAhead->Take(FIndex - 1, test, FWait, FStep);
        if (entry && FCallback && entry->key.Is(*FHeader)) {
            bool handed = true;
            const char* at = entry->data.data();
            for (const uint32_t size : entry->chunks) {
                // A refusal (a stop) is answered by the run's handle, which
                // then hears the same.
                if (FCallback(UCM_PROCESSDATA, FUserData, reinterpret_cast<LPARAM>(at), static_cast<LPARAM>(size)) ==
                    -1) {
                    handed = false;
                    break;
                }
                at += size;
            }
            if (handed) {
                ++FTaken;
                return FLibrary.ProcessFile(RAR_SKIP, destPath, destName);
            }
        }
    } else if (test && FCurrentSmall && FAheadOn && !FAhead && !FStartFailed && FSmall >= StartAfter &&
               2 * FSmall >= FRead) {
        Start();
    }
    return FLibrary.ProcessFile(operation, destPath, destName);
}

void TAheadCalls::Start()
{
    try {
        // From the next header on: this one is the run's handle's.
        FAhead = std::make_unique<TDecodeAhead>(FArcName, FIndex);
        std::lock_guard lock(FStepMutex);
        FStepping = FAhead.get();
    } catch (...) {
        FStartFailed = true;
    }
}

void TAheadCalls::SetCallback(UNRARCALLBACK callback, LPARAM userData)
{
    FCallback = callback;
    FUserData = userData;
    FLibrary.SetCallback(callback, userData);
}

void TAheadCalls::SetPassword(char* password)
{
    FLibrary.SetPassword(password);
}
