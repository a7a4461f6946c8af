#include "archive/LinkJudge.h"

namespace {

// Link chains longer than the kernel follows are refused as a loop would be.
constexpr int MaxLinkHops = 40;

// Splits at '/' and '\': a Windows target uses '\', and judging it as a
// separator is the careful reading on either system.
std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '/' || c == '\\') {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(std::move(part));
    return parts;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string path;
    for (const std::string& p : parts) {
        if (!path.empty())
            path += '/';
        path += p;
    }
    return path;
}

bool IsAbsolute(const std::string& target)
{
    // "/x", "\x", "\\server\x", "\??\C:\x" and "C:x" all name places outside.
    return target.empty() || target[0] == '/' || target[0] == '\\' || (target.size() >= 2 && target[1] == ':');
}

}  // namespace

void TLinkJudge::Clear()
{
    FFileNames = TNameArena();
    FFiles = TNameTable(FFileNames);
    FSymlinks.clear();
    FClimbed.clear();
}

void TLinkJudge::AddFile(const std::string& name)
{
    // A name too long to keep is never a source: a link to it is refused.
    FFiles.Set(name, 0);
}

bool TLinkJudge::Allow(const std::string& name, unsigned type, const std::string& target)
{
    switch (type) {
    case UnixSymlink:
    case WindowsSymlink:
    case Junction:
        return AllowSymlink(name, target);
    case HardLink:
    case FileCopy:
        return AllowSource(target);
    default:
        // A kind of link this program does not know cannot be judged.
        return false;
    }
}

// Resolves `parts` from the folder `at`, replacing each earlier link by its
// target. False when the path climbs above the destination or loops.
bool TLinkJudge::Walk(TParts& at, const TParts& parts, int& budget, std::vector<std::string>& popped) const
{
    for (const std::string& part : parts) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (at.empty())
                return false;
            popped.push_back(Join(at));
            at.pop_back();
            continue;
        }
        at.push_back(part);
        const auto link = FSymlinks.find(Join(at));
        if (link == FSymlinks.end())
            continue;
        if (--budget < 0)
            return false;
        at.pop_back();  // a link's target is read from the link's own folder
        if (!Walk(at, link->second, budget, popped))
            return false;
    }
    return true;
}

bool TLinkJudge::AllowSymlink(const std::string& name, const std::string& target)
{
    if (IsAbsolute(target))
        return false;
    TParts folder = SplitPath(name);
    const std::string base = folder.back();
    folder.pop_back();
    TParts at;
    int budget = MaxLinkHops;
    std::vector<std::string> popped;
    if (!Walk(at, folder, budget, popped))
        return false;
    // Where the link really lands, once the links above it are followed.
    at.push_back(base);
    const std::string place = Join(at);
    at.pop_back();
    TParts targetParts = SplitPath(target);
    if (FClimbed.count(place) || !Walk(at, targetParts, budget, popped))
        return false;
    FClimbed.insert(popped.begin(), popped.end());
    FSymlinks[place] = std::move(targetParts);
    return true;
}

// A hard link or copy must name a file this run has already met; anything
// else would reach a file outside the archive's own entries.
bool TLinkJudge::AllowSource(const std::string& target) const
{
    if (IsAbsolute(target))
        return false;
    TParts kept;
    for (std::string& part : SplitPath(target)) {
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            kept.push_back(std::move(part));
    }
    return FFiles.Get(Join(kept)).has_value();
}
