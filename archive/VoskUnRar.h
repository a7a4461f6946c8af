#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unordered_set>
#include <vector>

#include "archive/UnRarPrompts.h"
#include "archive/VoskConvert.h"
#include "archive/VoskErrors.h"
#include "archive/endcheck/ArchiveEnd.h"
#include "archive/library/DecodeAhead.h"
#include "archive/library/ListingRecord.h"
#include "archive/library/UnRarCalls.h"
#include "archive/library/untUnRar.h"
#include "archive/writer/EntryWriter.h"

enum class TVoskRarMode : uint8_t { VOSKRAR_EXTRACT = 0, VOSKRAR_LIST = 1 };
enum class TRarStatus : uint8_t { RAR_ONOPEN = 0, RAR_ONBEFOREOPEN = 1, RAR_AFTERCLOSE = 2, RAR_ONPASSWORD = 3 };
enum class TOverrideOptions : uint8_t { OR_ALWAYS = 0, OR_NEVER = 1, OR_EVENT = 2 };

// The component's list of target paths. It keeps its lines in order and an
// index folded to ASCII lower case beside them, so the per-entry selection
// test stays O(1) even while a handler adds lines during a run.
class TFileList {
public:
    void Add(const std::string& line);
    void Clear();
    size_t Count() const { return FLines.size(); }
    bool Empty() const { return FLines.empty(); }
    const std::string& operator[](size_t i) const { return FLines[i]; }
    const std::vector<std::string>& Lines() const { return FLines; }
    // True when a line equals `path` without regard to ASCII letter case.
    bool ContainsIgnoringCase(const std::string& path) const;

private:
    std::vector<std::string> FLines;
    std::unordered_multiset<std::string> FFolded;
};

class TVoskUnRar;

using TRarCommentEvent = std::function<void(TVoskUnRar& Sender, const std::string& Comment)>;
using TRarErrorEvent = std::function<void(TVoskUnRar& Sender, const std::string& Message, int32_t MessageID)>;
using TRarHeaderEvent = std::function<void(TVoskUnRar& Sender, const TVoskRARHeaderData& hdrData, int32_t status)>;
using TRAROverrideEvent = std::function<void(TVoskUnRar& Sender, const std::string& FileName, bool& CanOverride)>;
using TRarPromptPassEvent = std::function<void(TVoskUnRar& Sender, std::string& Password)>;
using TRARProgress = std::function<void(TVoskUnRar& Sender, uint32_t FilesProcessed, uint32_t FileCount,
                                        uint32_t SizeProcessed, uint64_t SizeCount)>;
using TRarStatusEvent = std::function<void(TVoskUnRar& Sender, const std::string& Message, TRarStatus status)>;
// ArcName is the library's writable buffer of VolumeNameCapacity bytes,
// holding the missing volume's name as zero-terminated UTF-8.
using TRarChangeVolEvent = std::function<void(TVoskUnRar& Sender, char* ArcName, int32_t Mode)>;

// Lists or extracts one RAR archive per call of ProcessArchive and reports
// everything through its events. The library only reads and tests; its
// writer makes every file. Components may live side by side; each runs on
// the thread that calls it.
class TVoskUnRar : private IWriterRun {
public:
    // Size of the library's buffer handed to OnVolChange.
    static constexpr size_t VolumeNameCapacity = 2048;
    // At most this long between two calls of KeepAlive while the engine
    // waits or the library unpacks: a window handling its messages there
    // stays under 50 ms between two rounds, with the library's own spacing
    // of callbacks added.
    static constexpr std::chrono::milliseconds KeepAliveInterval{16};
    // The library's data that comes at least this far apart is one large
    // entry being unpacked, a few MiB at a time: each of its chunks calls
    // KeepAlive, since the next one may be as far off again.
    static constexpr std::chrono::milliseconds SparseDataGap{8};
    // `prompts` answers the built-in password and next-volume prompts; null
    // means no prompt can be shown.
    explicit TVoskUnRar(IUnRarPrompts* prompts = nullptr);
    ~TVoskUnRar();
    TVoskUnRar(const TVoskUnRar&) = delete;
    TVoskUnRar& operator=(const TVoskUnRar&) = delete;

    // One run over FileName in the current Mode.
    void ProcessArchive();

    // Starts the header walk of a listing run of `fileName` on a second
    // thread. The first run, if it lists that archive as it is then, is
    // served from the walk; any other run drops it. After a run it does
    // nothing.
    void PrepareListing(const std::string& fileName);
    // True when the last run was served from a prepared walk.
    bool Replayed() const { return FReplayed; }

    // Read-only properties.
    const std::string& ArchivComment() const { return FArchivComment; }
    uint32_t CommentSize() const { return FCommentSize; }
    int32_t DllVersion() const { return FDllVersion; }

    TVoskRarMode Mode() const { return FMode; }
    void SetMode(TVoskRarMode mode);

    void SetPrompts(IUnRarPrompts* prompts) { FPrompts = prompts; }

    // Read/write properties.
    bool CanProgress = false;
    std::string Directory;
    TFileList FileList;
    std::string FileName;
    TOverrideOptions OverrideEvent = TOverrideOptions::OR_ALWAYS;
    std::string Password;
    bool PromptForPass = false;
    bool PromptForVolumn = false;
    bool StopProcessing = false;

    // Events; an unassigned one is skipped.
    TRarCommentEvent OnComment;
    TRarErrorEvent OnError;
    TRarHeaderEvent OnFileProcessing;
    TRAROverrideEvent OnOverride;
    TRarPromptPassEvent OnPassword;
    TRARProgress OnProgress;
    TRarStatusEvent OnRarStatus;
    TRarChangeVolEvent OnVolChange;

    // Called from the library's processed-data callback, at most every
    // KeepAliveInterval while the data comes quickly and at each chunk of a
    // large entry, and while the run waits for a walk made ahead or for the
    // writer, so a window can handle its pending messages meanwhile.
    std::function<void()> KeepAlive;

    // The library's callback; answers for CurrentUnRar.
    static int UnRarCallback(UINT msg, LPARAM UserData, LPARAM P1, LPARAM P2);

private:
    friend class TVoskUnRarAccess;  // lets tests wait for the walk made ahead

    void DoError(const std::string& Message, int32_t MessageID);
    void DoStatus(const std::string& Message, TRarStatus status);

    bool CountEntries();  // false when the archive did not open
    bool OpenArchive(unsigned openMode);
    void CloseArchive();
    void ReportHeader(int r);
    void TellHeader(const TVoskRARHeaderData& header, int r);
    int ProcessEntry();
    // Tells the outcomes of the writer's entries on their way and the
    // headers held back behind them: called before anything else is told or
    // asked, so every event keeps its order.
    void Settle() override;
    // Settles, and says whether anything may still be told or asked: not
    // once a stop took entries on their way back.
    bool SettleToTell();
    void Told() override;
    void StopTaken() override;
    bool MayReplace(const std::string& target) override;
    void Report(const std::string& text, int code, const std::string& entry) override;
    bool Stopped() const override { return StopProcessing; }
    void WhileWaiting() override;
    void CheckEnd();

    void StartPass();  // callback and password for the pass just opened
    template <typename Walk>
    void WalkOpenArchive(Walk walk);
    int ReadHeader();
    // Without `destName` the library is given Directory, as for a skip or a test.
    int Process(int operation, char* destPath = nullptr, char* destName = nullptr) override;
    void RethrowPending();
    int AskForVolume(char* buffer);
    void AnswerPassword(char* buffer, LPARAM capacity);

    int Callback(UINT msg, LPARAM P1, LPARAM P2);
    // Whether KeepAlive is due at `now` (or `anyway`), and counts it as made.
    bool KeepAliveDue(std::chrono::steady_clock::time_point now, bool anyway = false);
    bool KeepAliveDueAtData();  // the same, for the library's next chunk of data
    void PromptPassword(std::string& password);
    bool PromptNextVolume(const std::string& currentVolume, char* buffer, size_t capacity);

    IUnRarPrompts* FPrompts = nullptr;
    bool FDllLoaded = false;
    int32_t FDllVersion = 0;
    TVoskRarMode FMode = TVoskRarMode::VOSKRAR_EXTRACT;
    int FOperation = RAR_EXTRACT;
    uint32_t FFilesProcessed = 0;
    uint32_t FSizeProcessed = 0;
    uint32_t FFileCount = 0;
    uint64_t FSizeCount = 0;
    std::string FArchivComment;
    uint32_t FCommentSize = 0;

    // The calls of the run under way: the library's, or a walk's record.
    TAheadCalls FLibrary;
    IUnRarCalls* FCalls = &FLibrary;
    RAROpenArchiveData FOpenData{};
    RARHeaderDataEx FHeader{};
    std::vector<char> FCommentBuffer;
    TVoskRARHeaderData FHeaderData;
    // The entry's name as UTF-8, converted at most once per header read.
    const std::string& EntryName();
    std::string FEntryName;
    bool FEntryNameReady = false;

    // An exception raised inside the callback waits here until the library
    // call that made the callback has returned.
    std::exception_ptr FPendingException;

    // Volume that held the entry read last, for the next-volume prompt.
    std::string FCurrentVolume;
    // Volume the library opened last; where the walk must find the end.
    std::string FLastVolume;
    // Target of the link entry just read, as the library reports it.
    std::vector<wchar_t> FRedirName;
    std::vector<char> FPasswordBuffer;
    // The password the library was last handed in this run.
    std::string FRunPassword;
    // The archive whose last password the library called wrong.
    std::string FRejectedArchive;
    std::vector<char> FArcNameBuffer;
    std::chrono::steady_clock::time_point FLastKeepAlive;
    std::chrono::steady_clock::time_point FLastData;
    // Makes the files of an extraction run; while its entries are on their
    // way, a header read meanwhile is held back until their outcomes are told.
    TEntryWriter FWriter;
    struct THeldHeader {
        uint32_t after = 0;  // told once this many of the writer's entries are
        TVoskRARHeaderData data;
    };
    static constexpr uint32_t HeldLimit = 64;
    // Deeper than the engine may run ahead of the writer, so a queue at its
    // depth does not fill the ring and force a settle.
    static_assert(HeldLimit > TWriterThread::Slots / 2);
    std::vector<THeldHeader> FHeld;  // a ring, its slots reused
    uint32_t FHeldFirst = 0;
    uint32_t FHeldCount = 0;
    // A stop took back entries on their way: nothing after them is told or
    // asked until the walk ends, as if it had ended at the stop.
    bool FStopTaken = false;
    // The walk made ahead for the next run, and whether the last run used one.
    std::unique_ptr<TListingRecorder> FPrepared;
    bool FReplayed = false;
    bool FHasRun = false;

    // The archive in which the last whole listing run met no hard link or
    // file copy: an extraction run of it, unchanged, need not remember the
    // files it writes for one.
    std::optional<TFileState> FWithoutCopies;
    bool FMetCopy = false;
    // The last end check's answer: a listing and then an extraction of the
    // same archive walk its headers once, and a walk made ahead may have.
    std::optional<TKnownEnd> FKnownEnd;
};

// The component the library's callback answers for; set by ProcessArchive.
extern TVoskUnRar* CurrentUnRar;
