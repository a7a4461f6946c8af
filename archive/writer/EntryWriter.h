#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/VoskErrors.h"
#include "archive/library/untUnRar.h"
#include "archive/writer/Destination.h"
#include "archive/writer/ExistingFiles.h"
#include "archive/writer/FileJob.h"
#include "archive/writer/LinkJudge.h"
#include "archive/writer/QueuedPaths.h"
#include "archive/writer/WriterThread.h"

// What the writer needs of the run it writes for. All of it is called on
// the engine's thread.
class IWriterRun {
public:
    virtual ~IWriterRun() = default;
    // The library's process call for the entry just read. Without `destName`
    // nothing is written: a skip, or a test whose data comes to Receive.
    virtual int Process(int operation, char* destPath = nullptr, char* destName = nullptr) = 0;
    // Whether the entry may replace what stands at `target`.
    virtual bool MayReplace(const std::string& target) = 0;
    // A report of the run: `text`, followed by `entry` when not empty.
    virtual void Report(const std::string& text, int code, const std::string& entry) = 0;
    // Tells everything held back, the writer's entries on their way first.
    virtual void Settle() = 0;
    // Called once an outcome of the writer's thread is told: what was held
    // back behind it may follow.
    virtual void Told() = 0;
    // True once the user asked the run to stop.
    virtual bool Stopped() const = 0;
    // The writer took back entries of a run that stopped: nothing that
    // followed them may be told or asked any more.
    virtual void StopTaken() = 0;
    // Called every few milliseconds while the run waits for the writer's
    // thread, so the window can stay alive.
    virtual void WhileWaiting() = 0;
};

// Makes every file, folder and link of an extraction run below its
// destination. It owns the destination's open folders, the existence cache,
// the link judge, the table of the files it wrote and the thread that writes
// and names small files while the library unpacks the next entry.
//
// The engine hands it the entries in archive order, on one thread. Every
// decision that depends on the disk (does it exist, may it be replaced, is
// there a link in the path, may a hard link name this file) is taken
// against the disk as it will be once the entries on the thread have their
// names, so what happens does not depend on the thread or its timing. An
// entry's outcome is told (a question, a failure) before anything that
// comes after it: call Settle before telling anything else. An entry gets
// its name only once every outcome before it is told, and the run has not
// stopped meanwhile.
class TEntryWriter {
public:
    // Entries up to this size are copied whole to the writer's thread, at
    // most QueuedBytesLimit of them in memory at once; larger ones stream to it.
    static constexpr uint64_t QueuedEntryLimit = 1 << 20;
    static constexpr uint64_t QueuedBytesLimit = 4 << 20;

    explicit TEntryWriter(IWriterRun& run);
    TEntryWriter(const TEntryWriter&) = delete;
    TEntryWriter& operator=(const TEntryWriter&) = delete;

    // Opens `directory` for a run; `alwaysReplace`: no question is asked.
    // `withoutCopies`: the archive is known to hold no hard link or file
    // copy, so the files written need not be remembered for one; a copy that
    // comes all the same finds no file it may name and is refused.
    void BeginRun(const std::string& directory, bool alwaysReplace, bool withoutCopies = false);
    // Ends the run: what did not get its name goes.
    void EndRun();
    const TDestination& Destination() const { return FDestination; }

    // Writes the entry whose header was just read: `name` is its cleaned
    // name, `target` the path the question names, `shown` its name in
    // reports. The library's result, or 0.
    int Extract(const RARHeaderDataEx& header, const std::string& name, const std::string& target,
                const std::string& shown);
    // The data the library hands over while Extract tests the entry.
    bool Receiving() const { return FReceiving; }
    void Receive(const char* bytes, size_t size);

    // True while an entry is on the thread, its outcome not told yet.
    bool Busy() const { return FThread.Waited() != FThread.Posted(); }
    // Entries handed to the thread, and those whose outcomes are told.
    uint32_t Posted() const { return FThread.Posted(); }
    uint32_t Told() const { return FThread.Waited(); }
    // Waits for the entries on the thread and tells their outcomes; the
    // run's Settle calls it.
    void Settle() { Catch(TUntil::AllTold); }
    // True while Settle tells an outcome: nothing held back may come first.
    bool Settling() const { return FSettling; }

    // Work the thread does while it has no entry to write (TWriterThread::IdleWork).
    void SetIdleWork(std::function<bool()> step) { FThread.IdleWork(std::move(step)); }

    // Whether small entries go to the thread.
    bool ThreadOn() const { return FThreadOn; }
    void SetThreadOn(bool on) { FThreadOn = on; }

private:
    enum class TUntil { NothingReady, Room, AllTold };
    // Tells the thread's outcomes in order and releases the next entry once
    // all before it are told; waits no longer than `until` asks.
    void Catch(TUntil until);
    // True when an entry on the thread will be named `target`, or as a
    // folder above it.
    bool InTheWay(const std::string& target) const;
    // Hands FFile to the thread.
    void PostFile();
    int Skip(TVoskText why);
    int WriteFailed(int pr);
    int ExtractData(const std::string& base, const std::string& target, bool agreed);
    int ExtractSymlink(const std::string& name, const std::string& base, const std::string& target, bool agreed);
    int ExtractCopy(const std::string& base, const std::string& target, bool agreed);
    int ExtractFolder(const std::string& base, const std::string& target);
    int PlaceEntry(const std::string& temporary, const std::string& base, const std::string& target, bool agreed,
                   const struct stat* written);
    int FinishPlacement(TFileJob& job, TFinished first);
    timespec EntryTime() const;
    mode_t EntryMode() const;
    void SetLibraryDestination(const std::string& path, const std::string& name);

    IWriterRun& FRun;
    bool FAlwaysReplace = false;
    bool FRememberWritten = true;
    // The entry under way, for the length of Extract.
    const RARHeaderDataEx* FHeader = nullptr;
    const std::string* FShown = nullptr;

    TDestination FDestination;
    TExistingFiles FExistingFiles;
    TLinkJudge FLinkJudge;
    // The entry whose data the library is handing over: kept whole for the
    // thread when small, streamed to it when large, written here when the
    // thread is off.
    TFileJob FFile;
    bool FReceiving = false;
    bool FFileQueued = false;
    bool FFileStreamed = false;
    // The data buffer of a job the thread gave back, for the next entry.
    std::vector<char> FSpare;
    TWriterThread FThread;
    // The targets of the jobs out, for InTheWay's first answer.
    TQueuedPaths FQueuedPaths;
    static_assert(TWriterThread::Slots <= TQueuedPaths::MostQueued);
    // Bytes held by entries on the thread, whole.
    uint64_t FQueuedBytes = 0;
    bool FThreadOn = true;
    bool FSettling = false;
    // The oldest entry on the thread not released may have its name: its
    // turn came, and the engine names it once its file is made.
    bool FNameDue = false;
    // What an old-format link is made through: its folder's descriptor.
    std::vector<char> FDestPathBuffer;
    std::vector<char> FDestNameBuffer;
};
