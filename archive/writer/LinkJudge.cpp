#include "archive/writer/LinkJudge.h"

#include "archive/writer/Destination.h"

namespace {

// Link chains longer than the kernel follows are refused as a loop would be.
constexpr int MaxLinkHops = 40;

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
        if (slash == std::string::npos)
            return parts;
        start = slash + 1;
    }
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

}  // namespace

std::string LinkTargetHere(const std::string& target, unsigned type)
{
    std::string here = target;
    if (type == TLinkJudge::WindowsSymlink || type == TLinkJudge::Junction) {
        // "\??\C:\x" and "C:x" name drives; "\\server\x" a share.
        if (here.size() >= 2 && here[1] == ':')
            return std::string();
        for (char& c : here)
            if (c == '\\')
                c = '/';
    }
    if (here.empty() || here[0] == '/')
        return std::string();
    return here;
}

void TLinkJudge::Clear()
{
    FRestsOn.clear();
}

// Resolves `parts` from the folder `at`, replacing each link on the disk by
// its target. False when the path climbs above the destination or loops.
// `at` holds only real folders or names that do not exist yet, so every
// look-up below follows no link.
bool TLinkJudge::Walk(int root, const std::string& self, TParts& at, const TParts& parts, int& budget,
                      std::vector<std::string>& rested) const
{
    for (const std::string& part : parts) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (at.empty())
                return false;
            rested.push_back(Join(at));
            at.pop_back();
            continue;
        }
        at.push_back(part);
        const std::string place = Join(at);
        // Through its own name the new link would lead through itself.
        if (place == self)
            return false;
        std::string target;
        if (!ReadSymlinkAt(root, place, target))
            continue;
        if (--budget < 0 || target.empty() || target[0] == '/')
            return false;
        rested.push_back(place);
        at.pop_back();  // a link's target is read from the link's own folder
        if (!Walk(root, self, at, SplitPath(target), budget, rested))
            return false;
    }
    return true;
}

bool TLinkJudge::Allow(int root, const std::string& name, const std::string& target)
{
    if (target.empty() || target[0] == '/' || FRestsOn.count(name))
        return false;
    TParts at = SplitPath(name);
    at.pop_back();
    int budget = MaxLinkHops;
    std::vector<std::string> rested;
    if (!Walk(root, name, at, SplitPath(target), budget, rested))
        return false;
    FRestsOn.insert(rested.begin(), rested.end());
    return true;
}
