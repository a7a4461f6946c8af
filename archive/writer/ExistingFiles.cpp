#include "archive/writer/ExistingFiles.h"

#include "archive/writer/FileJob.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <system_error>
#include <utility>

#include "platform/text_file.h"

namespace {

constexpr uint32_t WatchedEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR;

// Other programs' changes are picked up this often; the run's own files are
// known at once.
constexpr auto DrainInterval = std::chrono::milliseconds(16);

// "a/b/c" -> "a/b" and "c"; a name without a folder is in the current one.
std::pair<std::string_view, std::string_view> Split(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {".", path};
    return {slash == 0 ? path.substr(0, 1) : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

TExistingFiles::~TExistingFiles()
{
    Reset();
    if (FCloser.joinable())
        FCloser.join();
}

void TExistingFiles::Reset()
{
    FLast = nullptr;
    FLastPath.clear();
    std::unique_ptr<State> old = std::exchange(FState, std::make_unique<State>());
    if (FNotify >= 0) {
        if (FCloser.joinable())
            FCloser.join();
        try {
            FCloser = std::thread([fd = FNotify, state = std::move(old)]() mutable {
                close(fd);
                state.reset();
            });
        } catch (const std::system_error&) {
            close(FNotify);  // no thread to spare: wait here
        }
    }
    FNotify = -1;
    FNotifyTried = false;
}

TExistingFiles::Folder* TExistingFiles::Find(std::string_view folder)
{
    if (FLast && FLast->current && folder == FLastPath)
        return FLast;
    const auto it = FState->byPath.find(folder);
    Folder* f = it != FState->byPath.end() && it->second->current ? it->second.get() : nullptr;
    if (f) {
        FLast = f;
        FLastPath = folder;
    }
    return f;
}

bool TExistingFiles::FileExists(const std::string& path)
{
    const auto [folder, name] = Split(path);
    if (!FNotifyTried) {
        FNotifyTried = true;
        FNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (FNotify < 0 || name.empty() || name == "." || name == "..")
        return platform::FileExists(path);

    const auto now = std::chrono::steady_clock::now();
    if (now - FLastDrain >= DrainInterval) {
        FLastDrain = now;
        Drain();
    }
    Folder* f = Find(folder);
    if (!f)
        f = Read(std::string(folder));
    // A folder that is not there yet is read again next time: by then the
    // run may have made it.
    if (!f)
        return platform::FileExists(path);
    const auto kind = f->names.Get(name);
    if (!kind)
        return false;
    return Kind(*kind) == Kind::File || platform::FileExists(path);
}

void TExistingFiles::Created(const std::string& path)
{
    const auto [folder, name] = Split(path);
    // A folder not read yet will show the file when it is read.
    if (Folder* f = Find(folder))
        Remember(*f, name, Kind::Unknown);
}

void TExistingFiles::FolderMade(std::string_view folder)
{
    FLast = nullptr;
    FState->byPath.insert_or_assign(std::string(folder), std::make_shared<Folder>(FState->arena));
}

TExistingFiles::Folder* TExistingFiles::Read(const std::string& folder)
{
    // The folder last asked may be replaced below.
    FLast = nullptr;
    // Watched before it is read, so nothing that happens in between is missed.
    const int watch = inotify_add_watch(FNotify, folder.c_str(), WatchedEvents);
    if (watch < 0)
        return nullptr;
    // The same folder under another spelling shares one watch.
    if (const auto known = FState->byWatch.find(watch); known != FState->byWatch.end() && known->second->current) {
        FState->byPath[folder] = known->second;
        return known->second.get();
    }

    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        inotify_rm_watch(FNotify, watch);
        return nullptr;
    }
    auto f = std::make_shared<Folder>(FState->arena);
    f->watch = watch;
    while (const dirent* e = readdir(dir)) {
        if (e->d_type == DT_DIR)
            continue;
        Remember(*f, e->d_name, e->d_type == DT_LNK || e->d_type == DT_UNKNOWN ? Kind::Unknown : Kind::File);
    }
    closedir(dir);
    FState->byPath[folder] = f;
    FState->byWatch[watch] = f;
    return f.get();
}

// A name the table cannot keep is no longer known for this folder: its
// questions go to the file system from then on.
void TExistingFiles::Remember(Folder& folder, std::string_view name, Kind kind)
{
    if (!folder.names.Set(name, static_cast<uint8_t>(kind)))
        folder.current = false;
}

void TExistingFiles::Drain()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = read(FNotify, buffer, sizeof buffer);
        if (n <= 0)
            return;  // nothing more to learn
        for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                // Events were lost: trust nothing read so far.
                for (auto& [watch, f] : FState->byWatch)
                    f->current = false;
                FState->byWatch.clear();
                continue;
            }
            const auto it = FState->byWatch.find(ev->wd);
            if (it == FState->byWatch.end())
                continue;
            Folder& f = *it->second;
            if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                // The path may name another folder now, or none.
                f.current = false;
                if (!(ev->mask & IN_IGNORED))
                    inotify_rm_watch(FNotify, ev->wd);
                FState->byWatch.erase(it);
                continue;
            }
            if (ev->len == 0)
                continue;
            const std::string_view name(ev->name);
            // The run's own temporary files come and go unasked about.
            if (IsTemporaryName(name))
                continue;
            if (ev->mask & (IN_DELETE | IN_MOVED_FROM) || (ev->mask & IN_ISDIR)) {
                f.names.Erase(name);
            } else if (ev->mask & (IN_CREATE | IN_MOVED_TO)) {
                Remember(f, name, Kind::Unknown);
            }
        }
    }
}
