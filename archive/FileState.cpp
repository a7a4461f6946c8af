#include "archive/FileState.h"

std::optional<TFileState> TFileState::Of(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return TFileState{path, st.st_dev, st.st_ino, st.st_size, st.st_mode, st.st_mtim, st.st_ctim};
}

bool TFileState::operator==(const TFileState& o) const
{
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return path == o.path && device == o.device && inode == o.inode && size == o.size && same(modified, o.modified) &&
           same(changed, o.changed);
}

bool TFileState::Unchanged() const
{
    const auto now = Of(path);
    return now && *now == *this;
}
