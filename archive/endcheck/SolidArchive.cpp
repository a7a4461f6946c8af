#include "archive/endcheck/SolidArchive.h"

#include <vector>

#include "archive/library/untUnRar.h"

bool IsSolidArchive(const std::string& fileName)
{
    if (!untUnRar::UnRarLoaded || !untUnRar::Library.RAROpenArchiveEx)
        return false;
    std::vector<char> name(fileName.begin(), fileName.end());
    name.push_back('\0');
    RAROpenArchiveDataEx data{};
    data.ArcName = name.data();
    data.OpenMode = RAR_OM_LIST;
    // Only the main header is read: no callback, no comment, no entry.
    HANDLE handle = untUnRar::Library.RAROpenArchiveEx(&data);
    if (!handle)
        return false;
    const bool solid = data.OpenResult == ERAR_SUCCESS && (data.Flags & ROADF_SOLID);
    untUnRar::Library.RARCloseArchive(handle);
    return solid;
}
