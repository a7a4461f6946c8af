#include "archive/library/ListingRecord.h"

#include "archive/FileState.h"

#include <algorithm>
#include <cstring>
#include <malloc.h>
#include <iterator>
#include <utility>
#include <sys/mman.h>
#include <sys/stat.h>

#include "archive/VoskConvert.h"

namespace {

// Blocks are mapped and unmapped directly, so each one the replay has used
// goes back to the system at once, whatever the allocator keeps.
constexpr size_t BlockSize = size_t{1} << 20;

enum TEvent : uint8_t { EvOpen = 1, EvNotice, EvArcName, EvRead, EvProcess };

std::atomic<int> RunningWalks{0};

void PutNumber(std::string& out, uint64_t value)
{
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

void PutText(std::string& out, const char* text, size_t size)
{
    PutNumber(out, size);
    out.append(text, size);
}

// Our own UTF-8 back to the library's UTF-32, at most `capacity` characters,
// zero-terminated when there is room, as the library leaves its buffers.
void Utf8ToWide(const std::string& text, wchar_t* out, size_t capacity)
{
    size_t n = 0;
    for (size_t i = 0; i < text.size() && n < capacity;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        uint32_t value = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += 1 + extra;
        out[n++] = static_cast<wchar_t>(value);
    }
    if (n < capacity)
        out[n] = L'\0';
}

}  // namespace

// The library's answers in the order they came, as a tape of small events.
class TListingRecord {
public:
    ~TListingRecord()
    {
        for (size_t i = FRead; i < FBlocks.size(); ++i)
            munmap(FBlocks[i].data, BlockSize);
    }

    // ---- writing, on the walker's thread
    bool Put(const std::string& event)
    {
        if (FBlocks.empty() || BlockSize - FBlocks.back().used < event.size()) {
            void* data = mmap(nullptr, BlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (data == MAP_FAILED)
                return false;
            FBlocks.push_back({static_cast<char*>(data), 0});
        }
        TBlock& b = FBlocks.back();
        std::memcpy(b.data + b.used, event.data(), event.size());
        b.used += event.size();
        return true;
    }

    std::vector<TFileState> Stamps;
    int CloseResult = ERAR_SUCCESS;

    // ---- reading, on the engine's thread
    int Peek()
    {
        while (FRead < FBlocks.size() && FOffset == FBlocks[FRead].used) {
            munmap(FBlocks[FRead].data, BlockSize);
            ++FRead;
            FOffset = 0;
        }
        return FRead < FBlocks.size() ? static_cast<unsigned char>(FBlocks[FRead].data[FOffset]) : 0;
    }
    uint8_t Byte() { return static_cast<uint8_t>(FBlocks[FRead].data[FOffset++]); }
    uint64_t Number()
    {
        uint64_t value = 0;
        for (int shift = 0;; shift += 7) {
            const uint8_t b = Byte();
            value |= static_cast<uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return value;
        }
    }
    void Text(std::string& out)
    {
        const size_t size = Number();
        out.assign(FBlocks[FRead].data + FOffset, size);
        FOffset += size;
    }

    // Sends the volume notices that came before the next answer, and keeps
    // the volume name of the next header. True when `event` comes next.
    bool ReachAnswer(TEvent event)
    {
        for (;;) {
            const int next = Peek();
            if (next == EvNotice) {
                Byte();
                Text(FNotice);
                FNoticeBuffer.assign(FNotice.begin(), FNotice.end());
                FNoticeBuffer.push_back('\0');
                if (Callback)
                    Callback(UCM_CHANGEVOLUME, UserData, reinterpret_cast<LPARAM>(FNoticeBuffer.data()),
                             RAR_VOL_NOTIFY);
            } else if (next == EvArcName) {
                Byte();
                Text(ArcName);
            } else {
                if (next == event)
                    Byte();
                return next == event;
            }
        }
    }

    UNRARCALLBACK Callback = nullptr;
    LPARAM UserData = 0;
    std::string ArcName;  // volume of the headers read from here on
    std::string Name;     // scratch for entry names

private:
    struct TBlock {
        char* data;
        size_t used;
    };
    std::vector<TBlock> FBlocks;
    size_t FRead = 0;
    size_t FOffset = 0;
    std::string FNotice;
    std::vector<char> FNoticeBuffer;
};

// ---- the replay -------------------------------------------------------------

namespace {

// The calls of a listing run, answered from the record in the order the
// library answered them.
class TReplayCalls final : public IUnRarCalls {
public:
    explicit TReplayCalls(std::unique_ptr<TListingRecord> record) : FRecord(std::move(record)) {}

    bool Open(RAROpenArchiveData& data) override
    {
        TListingRecord& record = *FRecord;
        if (!record.ReachAnswer(EvOpen)) {
            data.OpenResult = ERAR_UNKNOWN;
            return false;
        }
        const bool opened = record.Number() != 0;
        data.OpenResult = static_cast<unsigned>(record.Number());
        data.CmtState = static_cast<unsigned>(record.Number());
        data.CmtSize = static_cast<unsigned>(record.Number());
        std::string comment;
        record.Text(comment);
        if (data.CmtBuf && data.CmtBufSize > 0) {
            const size_t n = std::min<size_t>(comment.size(), data.CmtBufSize);
            std::memcpy(data.CmtBuf, comment.data(), n);
            if (n < data.CmtBufSize)
                data.CmtBuf[n] = '\0';
        }
        return opened;
    }
    int Close() override { return FRecord->CloseResult; }
    int ReadHeader(RARHeaderDataEx& header) override
    {
        TListingRecord& record = *FRecord;
        if (!record.ReachAnswer(EvRead))
            return ERAR_UNKNOWN;
        const int r = static_cast<int>(record.Number());
        for (const auto field : ConvertedFields)
            header.*field = static_cast<unsigned>(record.Number());
        // Not shown, but a run learns from it whether the archive holds a copy.
        header.RedirType = static_cast<unsigned>(record.Number());
        record.Text(record.Name);
        Utf8ToWide(record.Name, header.FileNameW, std::size(header.FileNameW));
        const size_t n = std::min(record.ArcName.size(), sizeof header.ArcName);
        std::memcpy(header.ArcName, record.ArcName.data(), n);
        if (n < sizeof header.ArcName)
            header.ArcName[n] = '\0';
        return r;
    }
    int ProcessFile(int, char*, char*) override
    {
        if (!FRecord->ReachAnswer(EvProcess))
            return ERAR_UNKNOWN;
        return static_cast<int>(FRecord->Number());
    }
    void SetCallback(UNRARCALLBACK callback, LPARAM userData) override
    {
        FRecord->Callback = callback;
        FRecord->UserData = userData;
    }
    // The walk was made with this very password: Take compared them.
    void SetPassword(char*) override {}

private:
    std::unique_ptr<TListingRecord> FRecord;
};

}  // namespace

// ---- the walk ---------------------------------------------------------------

TListingRecorder::TListingRecorder(std::string fileName, std::string password)
    : FFileName(std::move(fileName)), FPassword(std::move(password)), FRecord(std::make_unique<TListingRecord>())
{
    ++RunningWalks;
    try {
        FThread = std::thread([this] {
            try {
                Walk();
            } catch (...) {
                FUsable = false;
            }
            {
                const std::lock_guard lock(FEndMutex);
                FEnded = true;
            }
            FEndChanged.notify_all();
            --RunningWalks;
        });
    } catch (...) {
        --RunningWalks;
        throw;
    }
}

TListingRecorder::~TListingRecorder()
{
    Stop();
}

int TListingRecorder::Running()
{
    return RunningWalks;
}

void TListingRecorder::Stop()
{
    FStop = true;
    Wait();
}

void TListingRecorder::Wait()
{
    if (FThread.joinable())
        FThread.join();
}

void TListingRecorder::Note(const std::string& path)
{
    std::optional<TFileState> stamp = TFileState::Of(path);
    if (!stamp)
        FAsked = true;  // nothing to compare with later: the record could not be trusted
    FRecord->Stamps.push_back(stamp ? std::move(*stamp) : TFileState{path});
}

int TListingRecorder::WalkerCallback(UINT msg, LPARAM UserData, LPARAM P1, LPARAM P2)
{
    auto* self = reinterpret_cast<TListingRecorder*>(UserData);
    if (self->FStop || self->FAsked) {
        self->FAsked = true;
        return -1;
    }
    if (P2 == RAR_VOL_NOTIFY && msg == UCM_CHANGEVOLUME) {
        const char* name = reinterpret_cast<const char*>(P1);
        std::string event(1, static_cast<char>(EvNotice));
        PutText(event, name, std::strlen(name));
        self->Note(name);
        if (!self->FRecord->Put(event))
            self->FAsked = true;
        return 0;
    }
    // The engine does nothing with the wide notice; the narrow one follows.
    if (P2 == RAR_VOL_NOTIFY && msg == UCM_CHANGEVOLUMEW)
        return 0;
    // A question (password, missing volume) is for the listing run to ask.
    self->FAsked = true;
    return -1;
}

namespace {

// The library's calls, with every answer put on the record as it comes.
class TRecordingCalls final : public IUnRarCalls {
public:
    explicit TRecordingCalls(TListingRecord& record) : FRecord(record) {}

    // True once the record could not take an answer.
    bool Failed() const { return FFailed; }

    bool Open(RAROpenArchiveData& data) override
    {
        const bool opened = FLibrary.Open(data);
        FEvent.assign(1, static_cast<char>(EvOpen));
        PutNumber(FEvent, opened);
        PutNumber(FEvent, data.OpenResult);
        PutNumber(FEvent, data.CmtState);
        PutNumber(FEvent, data.CmtSize);
        PutText(FEvent, data.CmtBuf, data.CmtBuf ? strnlen(data.CmtBuf, data.CmtBufSize) : 0);
        Put();
        return opened;
    }
    int Close() override { return FRecord.CloseResult = FLibrary.Close(); }
    int ReadHeader(RARHeaderDataEx& header) override
    {
        const int r = FLibrary.ReadHeader(header);
        const size_t arcLength = strnlen(header.ArcName, sizeof header.ArcName);
        if (FArcName.compare(0, std::string::npos, header.ArcName, arcLength) != 0) {
            FArcName.assign(header.ArcName, arcLength);
            FEvent.assign(1, static_cast<char>(EvArcName));
            PutText(FEvent, FArcName.data(), FArcName.size());
            Put();
        }
        FEvent.assign(1, static_cast<char>(EvRead));
        PutNumber(FEvent, static_cast<unsigned>(r));
        for (const auto field : ConvertedFields)
            PutNumber(FEvent, header.*field);
        PutNumber(FEvent, header.RedirType);
        const std::string name = WideToUtf8(header.FileNameW, std::size(header.FileNameW));
        PutText(FEvent, name.data(), name.size());
        Put();
        return r;
    }
    int ProcessFile(int operation, char* destPath, char* destName) override
    {
        const int pr = FLibrary.ProcessFile(operation, destPath, destName);
        FEvent.assign(1, static_cast<char>(EvProcess));
        PutNumber(FEvent, static_cast<unsigned>(pr));
        Put();
        return pr;
    }
    void SetCallback(UNRARCALLBACK callback, LPARAM userData) override { FLibrary.SetCallback(callback, userData); }
    void SetPassword(char* password) override { FLibrary.SetPassword(password); }

private:
    void Put()
    {
        if (!FFailed && !FRecord.Put(FEvent))
            FFailed = true;
    }

    TLibraryCalls FLibrary;
    TListingRecord& FRecord;
    std::string FEvent;
    std::string FArcName;  // volume of the headers put last
    bool FFailed = false;
};

}  // namespace

// Makes the calls of the engine's listing run, in its order, and stops where
// it stops. Only what the library answered is kept.
void TListingRecorder::Walk()
{
    Note(FFileName);
    // A pipe or a device could block the open for good, and the walk could
    // then never be ended: only plain files are walked ahead.
    if (FAsked || !S_ISREG(FRecord->Stamps.front().mode))
        return;

    TRecordingCalls calls(*FRecord);
    std::vector<char> arcName(FFileName.begin(), FFileName.end());
    arcName.push_back('\0');
    std::vector<char> comment(CommentBufferSize, '\0');
    RAROpenArchiveData open{};
    open.ArcName = arcName.data();
    open.OpenMode = RAR_OM_LIST;
    open.CmtBuf = comment.data();
    open.CmtBufSize = CommentBufferSize;
    if (!calls.Open(open)) {
        FUsable = !calls.Failed();
        return;
    }

    calls.SetCallback(&TListingRecorder::WalkerCallback, reinterpret_cast<LPARAM>(this));
    std::vector<char> password(FPassword.begin(), FPassword.end());
    password.push_back('\0');
    if (!FPassword.empty())
        calls.SetPassword(password.data());

    auto header = std::make_unique<RARHeaderDataEx>();
    std::vector<wchar_t> redirName(RedirNameCapacity, L'\0');
    header->RedirName = redirName.data();
    header->RedirNameSize = RedirNameCapacity;
    char noDestination[] = "";
    ReadHeaders([&] { return calls.ReadHeader(*header); },
                [&](int r) {
                    if (FStop || FAsked || calls.Failed())
                        return false;
                    // The engine tests each entry read whole, and ends where a test fails.
                    return r != ERAR_SUCCESS || calls.ProcessFile(RAR_TEST, noDestination, nullptr) == ERAR_SUCCESS;
                });
    calls.Close();
    FUsable = !FAsked && !FStop && !calls.Failed();
    // The listing run ends with this check; its second of waiting is free.
    if (FUsable)
        CheckArchiveEnd(FRecord->Stamps.back().path, FPassword, FKnownEnd);
    // What the library held for the walk sits in this thread's own heap and
    // would stay resident through the whole extraction: hand it back now.
    malloc_trim(0);
}

std::unique_ptr<IUnRarCalls> TListingRecorder::Take(const std::string& fileName, const std::string& password,
                                                    std::chrono::milliseconds step,
                                                    const std::function<bool()>& whileWaiting)
{
    {
        std::unique_lock lock(FEndMutex);
        while (!FEndChanged.wait_for(lock, step, [this] { return FEnded; })) {
            lock.unlock();
            const bool goOn = !whileWaiting || whileWaiting();
            lock.lock();
            if (!goOn) {
                lock.unlock();
                Stop();
                return nullptr;
            }
        }
    }
    Wait();
    if (!FUsable || fileName != FFileName || password != FPassword)
        return nullptr;
    for (const TFileState& stamp : FRecord->Stamps)
        if (!stamp.Unchanged())
            return nullptr;
    FUsable = false;
    return std::make_unique<TReplayCalls>(std::move(FRecord));
}
