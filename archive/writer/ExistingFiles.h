#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "archive/writer/NameTable.h"

// Tells, for the entries of one extraction run, whether a file (anything but
// a folder) is at a target path, without a system call per entry. Each
// folder is read once, and the run reports each file it writes. What other
// programs do in a folder it read meanwhile comes from inotify, read at most
// every 16 ms. Without inotify, or for a folder that cannot be watched, each
// question is a stat.
class TExistingFiles {
public:
    TExistingFiles() = default;
    ~TExistingFiles();
    TExistingFiles(const TExistingFiles&) = delete;
    TExistingFiles& operator=(const TExistingFiles&) = delete;

    bool FileExists(const std::string& path);
    // The run has just written `path`; a later entry of the same name finds it.
    void Created(const std::string& path);
    // The run has just made `folder`, empty. What the run puts there it
    // reports; what another program puts there meanwhile the file's link
    // finds, since it never replaces anything. So the folder is neither read
    // nor watched: each of its files would cost a second event.
    void FolderMade(std::string_view folder);
    // The run has removed what stood at `path`; a later question asks the disk.
    void Removed(const std::string& path) { Created(path); }
    // Forgets every folder read so far: at the start and the end of a run.
    void Reset();

private:
    enum class Kind : unsigned char { File, Unknown };  // Unknown: a link, or not told

    // Paths are looked up by view, without making a string per question.
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };

    struct Folder {
        explicit Folder(TNameArena& arena) : names(arena) {}
        int watch = -1;  // none for a folder the run made
        bool current = true;
        TNameTable names;  // values are Kind
    };

    Folder* Find(std::string_view folder);
    Folder* Read(const std::string& folder);
    void Drain();
    void Remember(Folder& folder, std::string_view name, Kind kind);

    int FNotify = -1;
    bool FNotifyTried = false;
    // Closing an inotify descriptor waits for the kernel to retire its
    // watches, milliseconds of nothing, and a large run leaves many names to
    // free: both are done beside whatever comes next.
    std::thread FCloser;
    std::chrono::steady_clock::time_point FLastDrain;
    // What one run has learnt. Its names live in one arena, declared first so
    // that it goes last.
    struct State {
        TNameArena arena;
        std::unordered_map<std::string, std::shared_ptr<Folder>, Hash, std::equal_to<>> byPath;
        std::unordered_map<int, std::shared_ptr<Folder>> byWatch;
    };
    std::unique_ptr<State> FState = std::make_unique<State>();
    // Entries come folder by folder: the last folder asked is asked again.
    std::string FLastPath;
    Folder* FLast = nullptr;
};
