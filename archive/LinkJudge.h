#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Decides, before the library writes a link entry, whether the link stays
// inside the destination. Names are entry names as the library writes them
// (cleaned, '/' between folders, relative to the destination). The judgement
// follows the symbolic links allowed earlier in the same run, as the kernel
// would follow them once they exist.
class TLinkJudge {
public:
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
    // The plain files of a run, one per entry of a large archive: names kept
    // back to back in blocks, found through a table of their places, so a
    // name costs little more than its bytes.
    class TNameSet {
    public:
        void Clear();
        void Insert(std::string_view name);
        bool Contains(std::string_view name) const;

    private:
        static constexpr size_t BlockSize = 64 * 1024;
        std::string_view At(uint32_t place) const;
        size_t Find(std::string_view name) const;
        void Grow();

        std::vector<std::unique_ptr<char[]>> FBlocks;
        size_t FUsed = BlockSize;  // in the last block
        std::vector<uint32_t> FPlaces;  // block << 16 | offset, plus one; 0 is free
        size_t FCount = 0;
    };

    using TParts = std::vector<std::string>;
    bool Walk(TParts& at, const TParts& parts, int& budget, std::vector<std::string>& popped) const;
    bool AllowSymlink(const std::string& name, const std::string& target);
    bool AllowSource(const std::string& target) const;

    TNameSet FFiles;
    std::unordered_map<std::string, TParts> FSymlinks;
    // Folders an allowed link's target climbed out of with "..": a link made
    // there later would change where that earlier link leads.
    std::unordered_set<std::string> FClimbed;
};
