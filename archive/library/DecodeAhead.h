#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "archive/library/UnRarCalls.h"

// In an archive of many small compressed files, unpacking is most of a run,
// and the library unpacks on the run's thread alone. A second handle on the
// same archive unpacks some of those entries meanwhile, on a thread with
// time to spare.
//
// The second handle only ever tests. What it unpacked is handed to the run
// through the run's own callback, as the run's handle would have handed it,
// and only when the library found the entry whole and its header is the
// very one the run read; the run's handle then moves past the entry. Any
// other case (a failure, a question the library would ask, an entry it has
// not begun when the run comes to it) leaves the entry to the run's handle,
// which unpacks it as it always did. So the data, the results, the events
// and the questions of a run are the same with the second handle or
// without it, whatever its timing.

class TDecodeAhead;

// The library's calls for a run, with the second handle behind them. It
// starts only in a pass opened for extraction, once the entries read so
// far are mostly small compressed files: for any other archive it never
// costs a thing.
class TAheadCalls final : public IUnRarCalls {
public:
    // Entries up to this size may be unpacked ahead.
    static constexpr uint64_t EntryLimit = 1 << 20;
    // Small compressed files read before the second handle starts.
    static constexpr uint32_t StartAfter = 32;

    TAheadCalls();
    ~TAheadCalls() override;
    TAheadCalls(const TAheadCalls&) = delete;
    TAheadCalls& operator=(const TAheadCalls&) = delete;

    bool Open(RAROpenArchiveData& data) override;
    int Close() override;
    int ReadHeader(RARHeaderDataEx& header) override;
    int ProcessFile(int operation, char* destPath, char* destName) override;
    void SetCallback(UNRARCALLBACK callback, LPARAM userData) override;
    void SetPassword(char* password) override;

    // Whether a second handle may be used at all.
    void SetAheadOn(bool on) { FAheadOn = on; }
    // Called every `step` while the run waits for an entry the second
    // handle is unpacking; false leaves it to the run's handle.
    void WhileWaiting(std::function<bool()> wait, std::chrono::milliseconds step);
    // Ends the second handle's walk, once a step under way is over.
    void EndAhead();
    // One step of the second handle's walk: called by a thread with time to
    // spare, never the run's. False when there is nothing to do now.
    bool StepAhead();
    // Entries of the last pass that the second handle unpacked.
    uint32_t Taken() const { return FTaken; }

    // Whether an entry may be unpacked ahead: a small file, compressed, not
    // encrypted, not split, not a link. Read from its header alone, so both
    // handles pick the same entries.
    static bool Small(const RARHeaderDataEx& header);
    // Whether the small entry of this rank among them is the second
    // handle's: one in three. The writer's thread makes the walk, and has
    // its own work first; the run's handle takes every entry the walk has
    // not begun.
    static bool Ahead(uint32_t rank) { return rank % 3 == 2; }

private:
    void Start();

    TLibraryCalls FLibrary;
    std::unique_ptr<TDecodeAhead> FAhead;
    // The walk a step may be made on, and the step under way.
    std::mutex FStepMutex;
    TDecodeAhead* FStepping = nullptr;
    bool FAheadOn = true;
    bool FStartFailed = false;
    std::function<bool()> FWait;
    std::chrono::milliseconds FStep{4};
    std::string FArcName;
    unsigned FOpenMode = RAR_OM_LIST;
    UNRARCALLBACK FCallback = nullptr;
    LPARAM FUserData = 0;
    // The header just read, and its place in the pass.
    const RARHeaderDataEx* FHeader = nullptr;
    uint32_t FIndex = 0;  // headers read in this pass, failed reads too
    uint32_t FRead = 0;   // headers read whole
    uint32_t FSmall = 0;  // small compressed files among them
    bool FCurrentSmall = false;
    bool FCurrentAhead = false;  // the second handle may have unpacked it
    uint32_t FTaken = 0;
};
