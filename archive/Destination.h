#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

// The destination of one extraction run, held open as a folder descriptor.
// Every folder on the way to a target is reached from it without following a
// symbolic link, new data goes to a temporary name (in a private staging
// folder of the run, or in the target's folder), and only a complete entry
// is moved to its real name. Nothing outside the
// destination can be reached this way, and nothing stands under a real name
// half written.
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
    int FolderFd() const { return FCurrent ? FCurrent->fd : -1; }
    // False when Folder(relative) would first close folders that are open
    // now: only a run with very many folders closes them, all at once.
    bool KeepsOpen(std::string_view relative) const
    {
        return FFolders.size() < MaxOpenFolders || FFolders.contains(std::string(relative));
    }
    // "/proc/self/fd/N/" of the open folder: a path the library can write
    // through that no rename or link of the path can redirect.
    const std::string& FolderPath() const { return FCurrent ? FCurrent->path : NoPath; }

    // The folder of the last temporary name, and its "/proc/self/fd/N/" path.
    int TemporaryFolder() const { return FTemporaryAt; }
    const std::string& TemporaryFolderPath() const
    {
        for (const TStaging& s : FStaging)
            if (FTemporaryAt == s.fd)
                return s.path;
        return FolderPath();
    }
    // True when the last temporary name is in a staging folder: while it is
    // moved into place, the next entry's data goes to the other one, so the
    // two never wait for the same folder.
    bool TemporaryStaged() const { return FTemporaryAt >= 0 && FTemporaryAt != FolderFd(); }

    // While it lives, the folder of the last temporary name is the process's
    // working folder, so the library can be handed a bare name: the shortest
    // look-up there is, and one that no rename or link of the path can
    // redirect either.
    class TInFolder {
    public:
        explicit TInFolder(const TDestination& destination);
        ~TInFolder();
        TInFolder(const TInFolder&) = delete;
        TInFolder& operator=(const TInFolder&) = delete;
        bool Entered() const { return FEntered; }

    private:
        const TDestination& FDestination;
        bool FEntered = false;
    };

    // `name` as it reads from the working folder the run started in.
    std::string FromStartFolder(const std::string& name) const;

    // True for the names TemporaryName gives, in any run.
    static bool IsTemporaryName(std::string_view name) { return name.starts_with(TemporaryStem); }

    // A name for new data of an entry of the open folder, free when it is
    // chosen and other than `avoid` (the entry's own name). With `staged` it
    // is in the run's staging folder where a rename from there reaches the
    // open folder: the target folder, which may be watched and large, then
    // sees only the finished file arrive.
    const std::string& TemporaryName(std::string_view avoid, bool staged = false);
    // Removes the last temporary name again, whatever stands there.
    void Discard(const std::string& temporary) { Discard(FTemporaryAt, temporary); }
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
    static constexpr std::string_view TemporaryStem = ".brambold-";
    int FRoot = -1;
    int FHome = -1;  // the working folder the run started in
    std::string FHomePath;
    struct TOpenFolder {
        int fd = -1;
        std::string path;
        bool staged = false;  // a rename from the staging folder reaches it
    };
    // Kept well below the usual limit of 1,024 descriptors a process.
    static constexpr size_t MaxOpenFolders = 256;
    static inline const std::string NoPath;
    // By name relative to the root; the root itself is "".
    std::unordered_map<std::string, TOpenFolder> FFolders;
    const TOpenFolder* FCurrent = nullptr;  // the open folder; nodes of the map stay put
    std::string FFolderName;                // its name, and a buffer for look-ups
    void CloseFolders();
    // The run's own folders for data being written, made at the first folder
    // opened and removed with whatever they still hold when the run ends.
    // Entries take turns between the two.
    struct TStaging {
        int fd = -1;
        std::string name;
        std::string path;
    };
    TStaging FStaging[2];
    unsigned FStagingTurn = 0;
    bool FStagingTried = false;
    uint64_t FStagingMount = 0;
    int FTemporaryAt = -1;
    std::string FTemporary;
    std::string FTemporaryPrefix;
    uint64_t FTemporaryCount = 0;

    void MakeStaging();
    void RemoveStaging();

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
