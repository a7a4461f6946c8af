#pragma once

#include <memory>
#include <string>
#include <unordered_map>

// Tells, for the entries of one extraction run, whether a file (anything but
// a folder) is at a target path. Each folder is read once; inotify then
// reports what appears in it or leaves it, whoever does it: the run itself,
// creating folders and filling them, or another program. Without inotify,
// or for a folder that cannot be watched, each question is a stat.
class TExistingFiles {
public:
    TExistingFiles() = default;
    ~TExistingFiles();
    TExistingFiles(const TExistingFiles&) = delete;
    TExistingFiles& operator=(const TExistingFiles&) = delete;

    bool FileExists(const std::string& path);
    // Forgets every folder read so far.
    void Reset();

private:
    enum class Kind : unsigned char { File, Unknown };  // Unknown: a link, or not told
    struct Folder {
        int watch = -1;
        bool current = true;
        std::unordered_map<std::string, Kind> names;
    };

    Folder* Read(const std::string& folder);
    void Drain();

    int FNotify = -1;
    bool FNotifyTried = false;
    std::unordered_map<std::string, std::shared_ptr<Folder>> FByPath;
    std::unordered_map<int, std::shared_ptr<Folder>> FByWatch;
};
