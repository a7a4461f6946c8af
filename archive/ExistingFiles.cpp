#include "archive/ExistingFiles.h"

#include <cerrno>
#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/text_file.h"

namespace {

constexpr uint32_t WatchedEvents =
    IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

TExistingFiles::~TExistingFiles()
{
    Reset();
}

void TExistingFiles::Reset()
{
    if (FNotify >= 0)
        close(FNotify);
    FNotify = -1;
    FNotifyTried = false;
    FByPath.clear();
    FByWatch.clear();
}

bool TExistingFiles::FileExists(const std::string& path)
{
    const auto slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!FNotifyTried) {
        FNotifyTried = true;
        FNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (FNotify < 0 || name.empty() || name == "." || name == "..")
        return platform::FileExists(path);

    Drain();
    auto it = FByPath.find(folder);
    Folder* f = it != FByPath.end() && it->second->current ? it->second.get() : Read(folder);
    // A folder that is not there yet is read again next time: by then the
    // run may have made it.
    if (!f)
        return platform::FileExists(path);
    const auto entry = f->names.find(name);
    if (entry == f->names.end())
        return false;
    return entry->second == Kind::File || platform::FileExists(path);
}

TExistingFiles::Folder* TExistingFiles::Read(const std::string& folder)
{
    // Watched before it is read, so nothing that happens in between is missed.
    const int watch = inotify_add_watch(FNotify, folder.c_str(), WatchedEvents);
    if (watch < 0)
        return nullptr;
    // The same folder under another spelling shares one watch.
    if (const auto known = FByWatch.find(watch); known != FByWatch.end() && known->second->current) {
        FByPath[folder] = known->second;
        return known->second.get();
    }

    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        inotify_rm_watch(FNotify, watch);
        return nullptr;
    }
    auto f = std::make_shared<Folder>();
    f->watch = watch;
    while (const dirent* e = readdir(dir)) {
        if (e->d_type == DT_DIR)
            continue;
        f->names.emplace(e->d_name, e->d_type == DT_LNK || e->d_type == DT_UNKNOWN ? Kind::Unknown : Kind::File);
    }
    closedir(dir);
    FByPath[folder] = f;
    FByWatch[watch] = f;
    return f.get();
}

void TExistingFiles::Drain()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = read(FNotify, buffer, sizeof buffer);
        if (n <= 0)
            return;  // EAGAIN: nothing more to learn
        for (ssize_t at = 0; at < n;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                // Events were lost: trust nothing read so far.
                for (auto& [watch, f] : FByWatch)
                    f->current = false;
                FByWatch.clear();
                continue;
            }
            const auto it = FByWatch.find(ev->wd);
            if (it == FByWatch.end())
                continue;
            Folder& f = *it->second;
            if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                // The path may name another folder now, or none.
                f.current = false;
                if (!(ev->mask & IN_IGNORED))
                    inotify_rm_watch(FNotify, ev->wd);
                FByWatch.erase(it);
                continue;
            }
            if (ev->len == 0)
                continue;
            const std::string name(ev->name);
            if (ev->mask & (IN_DELETE | IN_MOVED_FROM) || (ev->mask & IN_ISDIR))
                f.names.erase(name);
            else if (ev->mask & (IN_CREATE | IN_MOVED_TO))
                f.names[name] = Kind::Unknown;
        }
    }
}
