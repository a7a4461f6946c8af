#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/NameTable.h"

// Decides, before the library writes a link entry, whether the link stays
// inside the destination. Names are entry names as the library writes them
// (cleaned, '/' between folders, relative to the destination). The judgement
// follows the symbolic links allowed earlier in the same run, as the kernel
// would follow them once they exist.
class TLinkJudge {
public:
    TLinkJudge() = default;
    // The file table points into its own arena.
    TLinkJudge(const TLinkJudge&) = delete;
    TLinkJudge& operator=(const TLinkJudge&) = delete;

    // The library's redirection types (RARHeaderDataEx::RedirType).
    enum : unsigned { None = 0, UnixSymlink = 1, WindowsSymlink = 2, Junction = 3, HardLink = 4, FileCopy = 5 };

    // Forgets everything: a new run starts.
    void Clear();

    // A plain file entry of this run, a possible source of hard links and copies.
    void AddFile(const std::string& name);

    // True when the link entry `name` of `type` pointing at `target` may be
    // written; an allowed symbolic link is remembered for later judgements.
    bool Allow(const std::string& name, unsigned type, const std::string& target);

private:
    using TParts = std::vector<std::string>;
    bool Walk(TParts& at, const TParts& parts, int& budget, std::vector<std::string>& popped) const;
    bool AllowSymlink(const std::string& name, const std::string& target);
    bool AllowSource(const std::string& target) const;

    // The plain files of the run, one per entry of a large archive.
    TNameArena FFileNames;
    TNameTable FFiles{FFileNames};
    std::unordered_map<std::string, TParts> FSymlinks;
    // Folders an allowed link's target climbed out of with "..": a link made
    // there later would change where that earlier link leads.
    std::unordered_set<std::string> FClimbed;
};
