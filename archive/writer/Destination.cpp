#include "archive/writer/Destination.h"

#include "archive/writer/FileJob.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::string FdPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd) + "/";
}

// One step of the walk: the folder `name` below `dirfd`, never through a link.
int OpenStep(int dirfd, const std::string& name, int flags)
{
    // O_PATH would open a link itself; a plain open with O_NOFOLLOW refuses it.
    return openat(dirfd, name.c_str(), (flags & ~O_PATH) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

int WalkBeneath(int dirfd, const std::string& path, int flags)
{
    int at = dirfd;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        const bool last = slash == std::string::npos;
        const int next = OpenStep(at, part, last ? flags : O_RDONLY | O_DIRECTORY);
        const int error = errno;
        if (at != dirfd)
            close(at);
        if (next < 0) {
            errno = error;
            return -1;
        }
        if (last)
            return next;
        at = next;
        start = slash + 1;
    }
}

}  // namespace

int OpenBeneath(int dirfd, const std::string& path, int flags)
{
    static bool haveOpenat2 = true;
    if (haveOpenat2) {
        open_how how{};
        how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
        const long fd = syscall(SYS_openat2, dirfd, path.c_str(), &how, sizeof how);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return static_cast<int>(fd);
        // Older kernels, and sandboxes that forbid the call.
        haveOpenat2 = false;
    }
    return WalkBeneath(dirfd, path, flags);
}

bool ReadSymlinkAt(int dirfd, const std::string& path, std::string& target)
{
    struct stat st {};
    if (fstatat(dirfd, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
        return false;
    char buffer[PATH_MAX];
    const ssize_t n = readlinkat(dirfd, path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buffer)
        target.clear();
    else
        target.assign(buffer, static_cast<size_t>(n));
    return true;
}

bool DropSetIdBits(int fd, const struct stat& st)
{
    if (!(st.st_mode & SetIdBits) || S_ISLNK(st.st_mode))
        return true;
    // Through the descriptor's own name, so an O_PATH descriptor serves and
    // the file need not be readable.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return chmod(self.c_str(), st.st_mode & 07777 & ~SetIdBits) == 0;
}

bool TDestination::Open(const std::string& directory)
{
    Close();
    FRoot = open(directory.empty() ? "." : directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    char here[PATH_MAX];
    FHomePath = getcwd(here, sizeof here) ? here : "";
    if (FRoot >= 0) {
        FRootShare = std::make_shared<const TFolderHandle>(FRoot);
        RemoveLeftovers(FRoot);
    }
    return FRoot >= 0;
}

void TDestination::Close()
{
    CloseFolders();
    // Jobs still holding the root keep it open until they are done.
    FRootShare.reset();
    FRoot = -1;
    FHomePath.clear();
    FWritten.clear();
    FWrittenCount = 0;
}

TDestination::TFolder TDestination::Folder(std::string_view relative)
{
    FFolderMade = false;
    if (FRoot < 0)
        return TFolder::Failed;
    if (FCurrent && relative == FFolderName)
        return TFolder::Ready;
    FFolderName.assign(relative);
    if (const auto open = FFolders.find(FFolderName); open != FFolders.end()) {
        FCurrent = &open->second;
        return TFolder::Ready;
    }
    if (FFolders.size() >= MaxOpenFolders) {
        const std::string name = std::move(FFolderName);
        CloseFolders();
        FFolderName = name;
    }
    FCurrent = nullptr;

    int fd = relative.empty() ? FRoot : OpenBeneath(FRoot, FFolderName, O_PATH | O_DIRECTORY);
    const bool made = fd < 0 && errno == ENOENT;
    if (made) {
        // Made folder by folder, each reached from the one before.
        int at = FRoot;
        size_t start = 0;
        while (at >= 0) {
            const size_t slash = FFolderName.find('/', start);
            const std::string part = FFolderName.substr(start, slash == std::string::npos ? slash : slash - start);
            const bool madeHere = mkdirat(at, part.c_str(), 0777) == 0;
            if (!madeHere && errno != EEXIST) {
                const int error = errno;
                if (at != FRoot)
                    close(at);
                errno = error;
                at = -1;
                break;
            }
            const int next = OpenStep(at, part, O_RDONLY | O_DIRECTORY);
            const int error = errno;
            if (at != FRoot)
                close(at);
            errno = error;
            at = next;
            if (slash == std::string::npos) {
                FFolderMade = madeHere && at >= 0;
                break;
            }
            start = slash + 1;
        }
        fd = at;
    }
    if (fd < 0) {
        const bool link = errno == ELOOP || errno == EXDEV;
        FFolderName.clear();
        return link ? TFolder::LinkInPath : TFolder::Failed;
    }
    if (!made && !relative.empty())
        RemoveLeftovers(fd);  // a folder that was there before this run
    // The root stays the run's own; any other folder closes with its last holder.
    TFolderShare share = fd == FRoot ? FRootShare : std::make_shared<const TFolderHandle>(fd);
    FCurrent = &FFolders.try_emplace(FFolderName, TOpenFolder{fd, std::move(share), FdPath(fd)}).first->second;
    return TFolder::Ready;
}

void TDestination::CloseFolders()
{
    FFolders.clear();
    FCurrent = nullptr;
    FFolderName.clear();
}

const std::string& TDestination::TemporaryName(std::string_view avoid)
{
    do
        FTemporary = StandInName();
    while (FTemporary == avoid);
    return FTemporary;
}

std::string TDestination::FromStartFolder(const std::string& name) const
{
    if (name.empty() || name[0] == '/' || FHomePath.empty())
        return name;
    return FHomePath + "/" + name;
}

void TDestination::Discard(int at, const std::string& temporary)
{
    if (unlinkat(at, temporary.c_str(), 0) != 0 && errno == EISDIR)
        unlinkat(at, temporary.c_str(), AT_REMOVEDIR);
}

TDestination::TPlace TDestination::Place(int fromAt, const std::string& temporary, int toAt, const std::string& name,
                                         bool replace)
{
    const char* from = temporary.c_str();
    const char* to = name.c_str();
    int r;
    if (replace) {
        r = renameat(fromAt, from, toAt, to);
    } else {
        r = static_cast<int>(syscall(SYS_renameat2, fromAt, from, toAt, to, RENAME_NOREPLACE));
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the flag: a link fails on an existing
            // name just the same.
            r = linkat(fromAt, from, toAt, to, 0);
            if (r == 0)
                unlinkat(fromAt, from, 0);
        }
    }
    if (r == 0)
        return TPlace::Placed;
    const int error = errno;
    struct stat st {};
    if (fstatat(toAt, to, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        return TPlace::IsFolder;
    if (error == EEXIST)
        return TPlace::Exists;
    return TPlace::Failed;
}

void TDestination::Remember(const struct stat& written)
{
    // A table of open addressing, kept at most half full: no allocation per
    // file, and a look-up stays O(1) whatever the archive holds.
    if (2 * (FWrittenCount + 1) > FWritten.size()) {
        std::vector<TInode> previous(std::max<size_t>(1024, 2 * FWritten.size()));
        previous.swap(FWritten);
        FWrittenCount = 0;
        for (const TInode& i : previous)
            if (i.Used())
                Insert(i);
    }
    Insert({written.st_dev, written.st_ino});
}

size_t TDestination::Slot(const TInode& i) const
{
    const size_t mask = FWritten.size() - 1;
    size_t at = static_cast<size_t>((i.inode ^ (i.device << 32 | i.device >> 32)) * 0x9E3779B97F4A7C15ull >> 7) & mask;
    while (FWritten[at].Used() && !(FWritten[at].device == i.device && FWritten[at].inode == i.inode))
        at = (at + 1) & mask;
    return at;
}

void TDestination::Insert(const TInode& i)
{
    TInode& slot = FWritten[Slot(i)];
    if (!slot.Used()) {
        slot = i;
        ++FWrittenCount;
    }
}

bool TDestination::Wrote(const struct stat& st) const
{
    return !FWritten.empty() && FWritten[Slot({st.st_dev, st.st_ino})].Used();
}

int TDestination::OpenWritten(const std::string& name, bool read) const
{
    if (FRoot < 0 || name.empty())
        return -1;
    const int fd = OpenBeneath(FRoot, name, read ? O_RDONLY | O_NOFOLLOW : O_PATH | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !Wrote(st)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool TDestination::Exists(const std::string& name) const
{
    if (FRoot < 0 || name.empty())
        return false;
    const int fd = OpenBeneath(FRoot, name, O_PATH | O_NOFOLLOW);
    if (fd >= 0)
        close(fd);
    return fd >= 0 || errno != ENOENT;
}
