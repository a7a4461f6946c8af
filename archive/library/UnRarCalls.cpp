#include "archive/library/UnRarCalls.h"

bool TLibraryCalls::Open(RAROpenArchiveData& data)
{
    FHandle = untUnRar::Library.RAROpenArchive(&data);
    // A failed open hands back nothing usable: no other call gets it.
    if (FHandle && data.OpenResult != ERAR_SUCCESS)
        FHandle = nullptr;
    return FHandle != nullptr;
}

int TLibraryCalls::Close()
{
    const int r = untUnRar::Library.RARCloseArchive(FHandle);
    FHandle = nullptr;
    return r;
}

int TLibraryCalls::ReadHeader(RARHeaderDataEx& header)
{
    return untUnRar::Library.RARReadHeaderEx(FHandle, &header);
}

int TLibraryCalls::ProcessFile(int operation, char* destPath, char* destName)
{
    return untUnRar::Library.RARProcessFile(FHandle, operation, destPath, destName);
}

void TLibraryCalls::SetCallback(UNRARCALLBACK callback, LPARAM userData)
{
    untUnRar::Library.RARSetCallback(FHandle, callback, userData);
}

void TLibraryCalls::SetPassword(char* password)
{
    untUnRar::Library.RARSetPassword(FHandle, password);
}
