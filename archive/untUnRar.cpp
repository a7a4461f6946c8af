#include "archive/untUnRar.h"

#include <cstdlib>
#include <dlfcn.h>

namespace untUnRar {

TRAROpenArchive RAROpenArchive = nullptr;
TRAROpenArchiveEx RAROpenArchiveEx = nullptr;
TRARCloseArchive RARCloseArchive = nullptr;
TRARReadHeader RARReadHeader = nullptr;
TRARReadHeaderEx RARReadHeaderEx = nullptr;
TRARProcessFile RARProcessFile = nullptr;
TRARSetCallback RARSetCallback = nullptr;
TRARSetChangeVolProc RARSetChangeVolProc = nullptr;
TRARSetProcessDataProc RARSetProcessDataProc = nullptr;
TRARSetPassword RARSetPassword = nullptr;
TRARGetDllVersion RARGetDllVersion = nullptr;

bool UnRarLoaded = false;

namespace {

void* LibraryHandle = nullptr;

template <typename F>
void Lookup(F& slot, const char* name)
{
    slot = reinterpret_cast<F>(dlsym(LibraryHandle, name));
}

void ClearSlots()
{
    RAROpenArchive = nullptr;
    RAROpenArchiveEx = nullptr;
    RARCloseArchive = nullptr;
    RARReadHeader = nullptr;
    RARReadHeaderEx = nullptr;
    RARProcessFile = nullptr;
    RARSetCallback = nullptr;
    RARSetChangeVolProc = nullptr;
    RARSetProcessDataProc = nullptr;
    RARSetPassword = nullptr;
    RARGetDllVersion = nullptr;
}

}  // namespace

void LoadUnRarLibrary()
{
    if (UnRarLoaded)
        return;
    const char* named = std::getenv("BRAMBOLD_UNRAR_LIBRARY");
    const char* file = named && *named ? named : DefaultLibraryName;
    LibraryHandle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!LibraryHandle)
        return;

    Lookup(RAROpenArchive, "RAROpenArchive");
    Lookup(RAROpenArchiveEx, "RAROpenArchiveEx");
    Lookup(RARCloseArchive, "RARCloseArchive");
    Lookup(RARReadHeader, "RARReadHeader");
    Lookup(RARReadHeaderEx, "RARReadHeaderEx");
    Lookup(RARProcessFile, "RARProcessFile");
    Lookup(RARSetCallback, "RARSetCallback");
    Lookup(RARSetChangeVolProc, "RARSetChangeVolProc");
    Lookup(RARSetProcessDataProc, "RARSetProcessDataProc");
    Lookup(RARSetPassword, "RARSetPassword");
    Lookup(RARGetDllVersion, "RARGetDllVersion");

    // A library without the calls we make is as good as none: no run could
    // finish on it, and a null slot would crash the first pass.
    const bool complete = RAROpenArchive && RARCloseArchive && RARReadHeaderEx && RARProcessFile &&
                          RARSetCallback && RARSetPassword && RARGetDllVersion;
    if (!complete) {
        FreeUnRarLibrary();
        return;
    }
    UnRarLoaded = true;
}

void FreeUnRarLibrary()
{
    if (LibraryHandle)
        dlclose(LibraryHandle);
    LibraryHandle = nullptr;
    UnRarLoaded = false;
    ClearSlots();
}

}  // namespace untUnRar
