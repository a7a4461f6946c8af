#include "archive/writer/FileJob.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <set>
#include <sys/syscall.h>
#include <unistd.h>
#include <thread>
#include <utility>

#include "archive/writer/Destination.h"
#include "archive/library/untUnRar.h"

namespace {

constexpr std::string_view Stem = ".brambold-";

}  // namespace

// Files are made with the mask applied, and the mode an entry asks for may
// not be what that leaves. Read while no other thread makes files.
mode_t CreationMask()
{
    static const mode_t mask = [] {
        const mode_t m = umask(0);
        umask(m);
        return m;
    }();
    return mask;
}

// "p<pid>-<n>": the pid tells a later run whether the process that made it
// may still be writing.
std::string StandInName()
{
    static std::atomic<uint64_t> count{0};
    std::string name(Stem);
    name.append("p").append(std::to_string(getpid())).append("-").append(std::to_string(++count));
    return name;
}

namespace {

bool AllDigits(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

bool AllHex(std::string_view s)
{
    return !s.empty() && s.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// True when `pid` is a running copy of this program other than this one.
bool RunningCopy(long pid)
{
    if (pid == getpid())
        return true;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    return comm && std::getline(comm, name) && name == "brambold";
}

// The files and folders some process has open or works in. Names of earlier
// builds say nothing of who made them: only this tells whether a run is
// still writing there. Read only when such names are found.
std::set<std::pair<dev_t, ino_t>> HeldByAnyProcess()
{
    std::set<std::pair<dev_t, ino_t>> held;
    DIR* proc = opendir("/proc");
    if (!proc)
        return held;
    const auto add = [&](const std::string& path) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0)
            held.emplace(st.st_dev, st.st_ino);
    };
    while (const dirent* e = readdir(proc)) {
        if (!AllDigits(e->d_name))
            continue;
        const std::string base = std::string("/proc/") + e->d_name;
        add(base + "/cwd");
        if (DIR* fds = opendir((base + "/fd").c_str())) {
            while (const dirent* f = readdir(fds))
                if (AllDigits(f->d_name))
                    add(base + "/fd/" + f->d_name);
            closedir(fds);
        }
    }
    closedir(proc);
    return held;
}

bool Held(const std::optional<std::set<std::pair<dev_t, ino_t>>>& held, int fd, const char* name)
{
    struct stat st {};
    return fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || held->contains({st.st_dev, st.st_ino});
}

void RemoveFileOrLink(int fd, const char* name)
{
    struct stat st {};
    if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        unlinkat(fd, name, 0);
}

void RemoveStagingFolder(int fd, const char* name, const std::optional<std::set<std::pair<dev_t, ino_t>>>& held)
{
    if (Held(held, fd, name))
        return;
    const int inner = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inner < 0)
        return;
    if (DIR* dir = fdopendir(inner)) {
        while (const dirent* e = readdir(dir))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") && !Held(held, inner, e->d_name))
                RemoveFileOrLink(inner, e->d_name);
        closedir(dir);
    } else {
        close(inner);
    }
    unlinkat(fd, name, AT_REMOVEDIR);  // only when it is empty now
}

}  // namespace

TFolderHandle::~TFolderHandle()
{
    if (FFd >= 0)
        close(FFd);
}

TFileJob& TFileJob::operator=(TFileJob&& other) noexcept
{
    if (this == &other)
        return *this;
    Discard();
    folderShare = std::move(other.folderShare);
    folder = std::exchange(other.folder, -1);
    base = std::move(other.base);
    target = std::move(other.target);
    agreed = other.agreed;
    identify = other.identify;
    mode = other.mode;
    mtime = other.mtime;
    data = std::move(other.data);
    streamed = other.streamed;
    file = std::exchange(other.file, -1);
    temporary = std::move(other.temporary);
    other.temporary.clear();
    failed = other.failed;
    error = other.error;
    whole = other.whole;
    st = other.st;
    return *this;
}

int MakeUnnamed(int folder, mode_t mode)
{
    // Owner-writable while it is written; the entry's own mode comes at the end.
    return TFileJob::UnnamedFilesRefused ? (errno = EOPNOTSUPP, -1)
                                         : openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, (mode & 0777) | 0200);
}

bool TFileJob::Make(int ready)
{
    const mode_t creation = (mode & 0777) | 0200;
    file = ready >= 0 ? ready : MakeUnnamed(folder, mode);
    if (file < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)) {
        for (int attempt = 0; file < 0 && attempt < 100; ++attempt) {
            temporary = StandInName();
            file = openat(folder, temporary.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, creation);
            if (file < 0 && errno != EEXIST)
                break;
        }
        if (file < 0)
            temporary.clear();
    }
    failed = file < 0;
    if (failed)
        error = ERAR_ECREATE;
    return !failed;
}

void TFileJob::Write(const char* bytes, size_t size)
{
    if (SlowDisk.count() > 0 && size > 0)
        std::this_thread::sleep_for(SlowDisk);
    while (!failed && size > 0) {
        const ssize_t n = write(file, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed = true;
            error = ERAR_EWRITE;
            break;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

void TFileJob::Discard()
{
    if (!temporary.empty() && folder >= 0)
        unlinkat(folder, temporary.c_str(), 0);
    temporary.clear();
    if (file >= 0)
        close(file);
    folderShare.reset();
    file = folder = -1;
}

namespace {

// Links the unnamed file, or renames its stand-in, to `name`; never
// replaces anything.
int LinkNoReplace(TFileJob& job, const char* name)
{
    if (!job.temporary.empty()) {
        int r = static_cast<int>(
            syscall(SYS_renameat2, job.folder, job.temporary.c_str(), job.folder, name, RENAME_NOREPLACE));
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the flag: a link fails on an existing
            // name just the same.
            r = linkat(job.folder, job.temporary.c_str(), job.folder, name, 0);
            if (r == 0)
                unlinkat(job.folder, job.temporary.c_str(), 0);
        }
        if (r == 0)
            job.temporary.clear();
        return r;
    }
    // Straight from the descriptor where the kernel lets this process, which
    // opened the file, do so; else through its name in /proc, a slower look-up.
    static std::atomic<bool> emptyPath{true};
    if (emptyPath.load(std::memory_order_relaxed)) {
        const int r = linkat(job.file, "", job.folder, name, AT_EMPTY_PATH);
        if (r == 0 || (errno != EPERM && errno != EINVAL && errno != ENOENT))
            return r;
        emptyPath.store(false, std::memory_order_relaxed);
    }
    char self[32] = "/proc/self/fd/";
    *std::to_chars(self + 14, self + sizeof self - 1, job.file).ptr = '\0';
    const int r = linkat(AT_FDCWD, self, job.folder, name, AT_SYMLINK_FOLLOW);
    return r;
}

}  // namespace

void TFileJob::Seal()
{
    whole = false;
    if (file < 0 || failed)
        return;
    // No extracted file keeps a set-ID bit.
    const mode_t wanted = mode & 07777 & ~SetIdBits;
    // Most entries were made with their mode already: a call saved a file.
    if ((((wanted & 0777) | 0200) & ~CreationMask()) != wanted && fchmod(file, wanted) != 0)
        return;
    if (mtime.tv_nsec != UTIME_OMIT) {
        const timespec times[2] = {{0, UTIME_OMIT}, mtime};
        futimens(file, times);
    }
    whole = !identify || fstat(file, &st) == 0;
}

TFinished NameFile(TFileJob& job)
{
    job.Seal();
    return job.whole ? LinkFile(job) : TFinished::Failed;
}

TFinished LinkFile(TFileJob& job)
{
    const char* name = job.base.c_str();
    int r = LinkNoReplace(job, name);
    if (r != 0 && errno == EEXIST && job.agreed) {
        // The user said Yes: the new file takes the name in one rename, so
        // the old one stays whole until then. A link there is replaced,
        // never written through.
        if (job.temporary.empty()) {
            std::string stand;
            for (int attempt = 0; attempt < 100; ++attempt) {
                stand = StandInName();
                r = LinkNoReplace(job, stand.c_str());
                if (r == 0 || errno != EEXIST)
                    break;
            }
            if (r == 0)
                job.temporary = stand;
        } else {
            r = 0;
        }
        if (r == 0) {
            r = renameat(job.folder, job.temporary.c_str(), job.folder, name);
            if (r == 0)
                job.temporary.clear();
        }
    }
    if (r == 0)
        return TFinished::Placed;
    const int error = errno;
    struct stat there {};
    if (fstatat(job.folder, name, &there, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(there.st_mode))
        return TFinished::IsFolder;
    return error == EEXIST ? TFinished::Exists : TFinished::Failed;
}

bool IsTemporaryName(std::string_view name)
{
    return name.starts_with(Stem);
}

void RemoveLeftovers(int fd)
{
    const int listing = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* dir = fdopendir(listing);
    if (!dir) {
        close(listing);
        return;
    }
    std::optional<std::set<std::pair<dev_t, ino_t>>> held;  // read once, when needed
    while (const dirent* e = readdir(dir)) {
        std::string_view name(e->d_name);
        if (!name.starts_with(Stem))
            continue;
        name.remove_prefix(Stem.size());
        const size_t dash = name.find('-');
        if (dash == std::string_view::npos)
            continue;
        const std::string_view first = name.substr(0, dash), rest = name.substr(dash + 1);
        if (first.size() > 1 && first[0] == 'p' && AllDigits(first.substr(1)) && AllDigits(rest)) {
            if (!RunningCopy(std::strtol(std::string(first.substr(1)).c_str(), nullptr, 10)))
                RemoveFileOrLink(fd, e->d_name);
        } else if (first.size() == 16 && AllHex(first) && AllDigits(rest)) {
            if (!held)
                held = HeldByAnyProcess();
            if (rest == "0" || rest == "00")
                RemoveStagingFolder(fd, e->d_name, held);
            else if (!Held(held, fd, e->d_name))
                RemoveFileOrLink(fd, e->d_name);
        }
    }
    closedir(dir);
}
