#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>

// An archive file as it was when it was read: what it is, how long, and both
// its times. Every write moves the change time, and nobody can set it back,
// so a file found equal to an earlier state holds the same bytes.
struct TFileState {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    mode_t mode = 0;
    timespec modified{}, changed{};

    // The file at `path` now; nothing when it cannot be looked at.
    static std::optional<TFileState> Of(const std::string& path);
    // The same file, unchanged; the mode goes with the change time.
    bool operator==(const TFileState& other) const;
    // Whether the file at `path` is still as it was.
    bool Unchanged() const;
};
