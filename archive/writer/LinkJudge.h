#pragma once

#include <string>
#include <unordered_set>
#include <vector>

// Judges a symbolic link after it was made, by its real target read back
// from the disk: it may stay only when the target, resolved from the link's
// place through the links that stand on the disk, never leaves the
// destination. Names are relative to the destination, '/' between folders.
class TLinkJudge {
public:
    // The library's redirection types (RARHeaderDataEx::RedirType).
    enum : unsigned { None = 0, UnixSymlink = 1, WindowsSymlink = 2, Junction = 3, HardLink = 4, FileCopy = 5 };

    // Forgets everything: a new run starts.
    void Clear();

    // True when a link at `name` (below the destination held open as `root`)
    // with the target `target` leads to a place inside the destination. An
    // allowed link is remembered: the places its judgement rested on may not
    // become links later in the run.
    bool Allow(int root, const std::string& name, const std::string& target);

private:
    using TParts = std::vector<std::string>;
    bool Walk(int root, const std::string& self, TParts& at, const TParts& parts, int& budget,
              std::vector<std::string>& rested) const;

    // Places an allowed link's judgement climbed out of with "..", or passed
    // through as a link: a link made there later would change where the
    // earlier one leads.
    std::unordered_set<std::string> FRestsOn;
};

// A link target as this system reads it: a Windows link's '\' become '/';
// empty when the target names a place outside any folder (an absolute path,
// a drive, a device name).
std::string LinkTargetHere(const std::string& target, unsigned type);
