#include "archive/untUnRar.h"

#include <cstdio>
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
    // The window can only say "not loaded"; why goes to stderr, once per
    // process however often a component tries.
    static bool explained = false;
    const auto explain = [&](const char* reason, const char* detail) {
        if (explained)
            return;
        explained = true;
        std::fprintf(stderr,
                     "brambold: the UnRAR library %s%s was not loaded: %s%s; install the package libunrar5 from "
                     "Debian's non-free component\n",
                     file, named && *named ? " (named by BRAMBOLD_UNRAR_LIBRARY)" : "", reason, detail);
    };
    LibraryHandle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!LibraryHandle) {
        const char* error = dlerror();
        explain(error ? error : "unknown error", "");
        return;
    }

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
    const struct {
        const void* slot;
        const char* name;
    } called[] = {
        {reinterpret_cast<const void*>(RAROpenArchive), "RAROpenArchive"},
        {reinterpret_cast<const void*>(RARCloseArchive), "RARCloseArchive"},
        {reinterpret_cast<const void*>(RARReadHeaderEx), "RARReadHeaderEx"},
        {reinterpret_cast<const void*>(RARProcessFile), "RARProcessFile"},
        {reinterpret_cast<const void*>(RARSetCallback), "RARSetCallback"},
        {reinterpret_cast<const void*>(RARSetPassword), "RARSetPassword"},
        {reinterpret_cast<const void*>(RARGetDllVersion), "RARGetDllVersion"},
    };
    for (const auto& [slot, name] : called) {
        if (!slot) {
            explain("it has no function ", name);
            FreeUnRarLibrary();
            return;
        }
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
