#include "archive/library/untUnRar.h"

#include "archive/library/BufferedReads.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>

namespace untUnRar {

TUnRarLibrary Library;

bool UnRarLoaded = false;

bool UnRarReadsBuffered = false;

namespace {

void* LibraryHandle = nullptr;
// Components that hold the library: it goes with the last of them, never
// from under one still running.
unsigned Holders = 0;

template <typename F>
void Lookup(F& slot, const char* name)
{
    slot = reinterpret_cast<F>(dlsym(LibraryHandle, name));
}

}  // namespace

void LoadUnRarLibrary()
{
    if (UnRarLoaded) {
        ++Holders;
        return;
    }
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

    TUnRarLibrary& l = Library;
    Lookup(l.RAROpenArchive, "RAROpenArchive");
    Lookup(l.RAROpenArchiveEx, "RAROpenArchiveEx");
    Lookup(l.RARCloseArchive, "RARCloseArchive");
    Lookup(l.RARReadHeader, "RARReadHeader");
    Lookup(l.RARReadHeaderEx, "RARReadHeaderEx");
    Lookup(l.RARProcessFile, "RARProcessFile");
    Lookup(l.RARSetCallback, "RARSetCallback");
    Lookup(l.RARSetChangeVolProc, "RARSetChangeVolProc");
    Lookup(l.RARSetProcessDataProc, "RARSetProcessDataProc");
    Lookup(l.RARSetPassword, "RARSetPassword");
    Lookup(l.RARGetDllVersion, "RARGetDllVersion");

    // A library without the calls we make is as good as none: no run could
    // finish on it, and a null slot would crash the first pass.
    const struct {
        const void* slot;
        const char* name;
    } called[] = {
        {reinterpret_cast<const void*>(l.RAROpenArchive), "RAROpenArchive"},
        {reinterpret_cast<const void*>(l.RARCloseArchive), "RARCloseArchive"},
        {reinterpret_cast<const void*>(l.RARReadHeaderEx), "RARReadHeaderEx"},
        {reinterpret_cast<const void*>(l.RARProcessFile), "RARProcessFile"},
        {reinterpret_cast<const void*>(l.RARSetCallback), "RARSetCallback"},
        {reinterpret_cast<const void*>(l.RARSetPassword), "RARSetPassword"},
        {reinterpret_cast<const void*>(l.RARGetDllVersion), "RARGetDllVersion"},
    };
    for (const auto& [slot, name] : called) {
        if (!slot) {
            explain("it has no function ", name);
            FreeUnRarLibrary();
            return;
        }
    }
    // Only a speed-up: a library whose calls cannot be redirected reads as
    // it always did.
    UnRarReadsBuffered = BufferLibraryReads(LibraryHandle);
    UnRarLoaded = true;
    Holders = 1;
}

void FreeUnRarLibrary()
{
    if (Holders > 1) {
        --Holders;
        return;
    }
    Holders = 0;
    if (LibraryHandle)
        dlclose(LibraryHandle);
    LibraryHandle = nullptr;
    UnRarLoaded = false;
    UnRarReadsBuffered = false;
    Library = {};
}

}  // namespace untUnRar
