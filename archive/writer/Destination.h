#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

#include "archive/writer/FileJob.h"

// The destination of one extraction run, held open as a folder descriptor.
// Every folder on the way to a target is reached from it without following a
// symbolic link, so nothing outside the destination can be reached. What
// earlier runs that were killed left in a folder goes when it is opened.
class TDestination {
public:
    TDestination() = default;
    ~TDestination() { Close(); }
    TDestination(const TDestination&) = delete;
    TDestination& operator=(const TDestination&) = delete;

    // Opens `directory` (the current folder when empty) for a new run.
    bool Open(const std::string& directory);
    void Close();
    int Root() const { return FRoot; }

    enum class TFolder { Ready, LinkInPath, Failed };
    // Opens the folder `relative` (names between '/', no "." or ".."),
    // making the folders that are missing. Folders stay open for the run:
    // a solid archive sorts its entries by type, not by folder, and opening
    // each folder once costs less than opening one for every entry.
    TFolder Folder(std::string_view relative);
    // True when the last Folder call made the folder itself, empty.
    bool FolderMade() const { return FFolderMade; }
    int FolderFd() const { return FCurrent ? FCurrent->fd : -1; }
    // A share of the open folder's descriptor, which keeps it open for the
    // holder even when the run closes its folders.
    TFolderShare FolderShare() const { return FCurrent ? FCurrent->share : nullptr; }
    // True when something, even a link, stands at `name` below the root.
    bool Exists(const std::string& name) const;
    // "/proc/self/fd/N/" of the open folder: a path the library can write
    // through that no rename or link of the path can redirect.
    const std::string& FolderPath() const { return FCurrent ? FCurrent->path : NoPath; }

    // `name` as it reads from the working folder the run started in.
    std::string FromStartFolder(const std::string& name) const;

    // A free name in the open folder for a link or a copy being made, other
    // than `avoid` (the entry's own name).
    const std::string& TemporaryName(std::string_view avoid);
    // Removes that name again, whatever stands there.
    void Discard(const std::string& temporary) { Discard(FolderFd(), temporary); }
    // The same for a temporary name in the folder `at`.
    static void Discard(int at, const std::string& temporary);

    enum class TPlace { Placed, Exists, IsFolder, Failed };
    // Moves `temporary` in the folder `from` to `name` in the folder `to`.
    // Without `replace` a file that stands there is never replaced (Exists);
    // with it, a file or a symbolic link there is replaced, never written
    // through. Touches nothing but the two folders: safe on any thread.
    static TPlace Place(int from, const std::string& temporary, int to, const std::string& name, bool replace);

    // A file of this run: hard links and copies may name only such a file.
    void Remember(const struct stat& written);
    // Opens `name` (relative to the destination, following no link) when it
    // is a regular file this run wrote; -1 otherwise. O_PATH unless `read`.
    int OpenWritten(const std::string& name, bool read) const;

private:
    int FRoot = -1;
    TFolderShare FRootShare;
    std::string FHomePath;
    struct TOpenFolder {
        int fd = -1;
        TFolderShare share;  // the root's is not owned: it closes with the run
        std::string path;
    };
    // Kept well below the usual limit of 1,024 descriptors a process.
    static constexpr size_t MaxOpenFolders = 256;
    static inline const std::string NoPath;
    // By name relative to the root; the root itself is "".
    std::unordered_map<std::string, TOpenFolder> FFolders;
    const TOpenFolder* FCurrent = nullptr;  // the open folder; nodes of the map stay put
    std::string FFolderName;                // its name, and a buffer for look-ups
    bool FFolderMade = false;
    void CloseFolders();
    std::string FTemporary;

    struct TInode {
        uint64_t device = 0;
        uint64_t inode = 0;
        // No file has device and inode 0: that marks a free slot.
        bool Used() const { return device != 0 || inode != 0; }
    };
    // The files written, in a table of a power-of-two size.
    std::vector<TInode> FWritten;
    size_t FWrittenCount = 0;
    size_t Slot(const TInode& i) const;
    void Insert(const TInode& i);
    bool Wrote(const struct stat& st) const;
};

// Opens `path` below the folder `dirfd` following no symbolic link on the way
// (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS; a walk of O_NOFOLLOW
// opens where the kernel lacks it). -1 with errno ELOOP for a link in the path.
int OpenBeneath(int dirfd, const std::string& path, int flags);

// True when a symbolic link stands at `path` below `dirfd`; `target` is then
// what it holds, empty when that cannot be read whole.
bool ReadSymlinkAt(int dirfd, const std::string& path, std::string& target);

constexpr unsigned SetIdBits = S_ISUID | S_ISGID;

// Set-user-ID and set-group-ID bits are cleared on the file that `fd` (an
// O_PATH descriptor is enough) stands for; false when that fails.
bool DropSetIdBits(int fd, const struct stat& st);
