#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// An open folder's descriptor, closed when the last of its holders lets it
// go: the run's table of open folders and every job on its way into it.
class TFolderHandle {
public:
    explicit TFolderHandle(int fd) : FFd(fd) {}
    ~TFolderHandle();
    TFolderHandle(const TFolderHandle&) = delete;
    TFolderHandle& operator=(const TFolderHandle&) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};
using TFolderShare = std::shared_ptr<const TFolderHandle>;

// One data entry on its way to the disk. The file is made without a name
// (O_TMPFILE) in its target folder, written, given its mode and time, and
// only then linked to its name, which never replaces anything unless agreed.
// Where a file system has no unnamed files, a temporary name of this
// process stands in and a rename that replaces nothing gives the real one.
//
// A job owns everything it uses: its share of the folder's descriptor, its
// names, its data and its file. Whoever holds the job may
// run the functions below on any thread; nothing here touches the engine.
struct TFileJob {
    TFolderShare folderShare;  // keeps `folder` open
    int folder = -1;
    std::string base;     // the name in that folder
    std::string target;   // the path the existence test and the question name
    bool agreed = false;  // the entry may replace what stands there
    // The file's device and inode are wanted, for a later link to name it.
    bool identify = true;
    mode_t mode = 0600;
    timespec mtime{0, UTIME_OMIT};
    // The whole data of an entry handed to the writer's thread, unless it
    // is `streamed` to it in chunks.
    std::vector<char> data;
    bool streamed = false;
    int file = -1;          // owned, once made
    std::string temporary;  // the stand-in name, where the file has one
    bool failed = false;    // the file could not be made or written: it never gets a name
    int error = 0;          // the library's code for what failed
    bool whole = false;     // made, written, and given its mode and time
    struct stat st {};      // the file then, when `identify`

    TFileJob() = default;
    ~TFileJob() { Discard(); }
    TFileJob(TFileJob&& other) noexcept { *this = std::move(other); }
    TFileJob& operator=(TFileJob&& other) noexcept;
    TFileJob(const TFileJob&) = delete;
    TFileJob& operator=(const TFileJob&) = delete;

    // Makes the unnamed file, or takes `ready`, one that MakeUnnamed made
    // in this folder with this mode; false (and `failed`) when it cannot be
    // made.
    bool Make(int ready = -1);
    // Set by tests: every file system is taken for one without unnamed files.
    static inline bool UnnamedFilesRefused = false;
    // Tests make every write this much slower, as a slow disk would.
    static inline std::chrono::milliseconds SlowDisk{0};
    // Appends to the file made.
    void Write(const char* bytes, size_t size);
    // Gives the file made its mode and time; `whole` unless something failed.
    void Seal();
    // Removes the file and closes what the job holds.
    void Discard();
};

// A file without a name in `folder`, made for an entry of mode `mode`; -1
// where the file system has none.
int MakeUnnamed(int folder, mode_t mode);

// Withdrawn: the engine took the job back before it had a name.
enum class TFinished { Placed, Exists, IsFolder, Failed, Withdrawn };

// Gives the sealed file its name. Exists leaves the job whole, to be named
// again once agreed.
TFinished LinkFile(TFileJob& job);
// Seals the file and names it.
TFinished NameFile(TFileJob& job);

// The process's file creation mask, read once, before any thread writes.
mode_t CreationMask();
// A new name for data that is not complete yet, unique in this process.
std::string StandInName();
// The names this program gives data that is not complete yet, and those
// that earlier builds gave: a later run removes what a killed one left.
bool IsTemporaryName(std::string_view name);
// Removes what earlier runs left in the folder `fd` under those names, when
// no running copy of the program can be writing them: regular files and
// links only, and the staging folders of earlier builds with their files.
void RemoveLeftovers(int fd);
