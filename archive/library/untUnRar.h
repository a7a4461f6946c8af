#pragma once

// Binding of RARLAB's UnRAR library, loaded at run time. One binding per
// process: the slots below are shared by every archive component.

#define _UNIX
#include <unrar/dll.hpp>

namespace untUnRar {

// File loaded when BRAMBOLD_UNRAR_LIBRARY does not name another one.
inline constexpr const char* DefaultLibraryName = "libunrar.so.5";

using TRAROpenArchive = HANDLE (*)(RAROpenArchiveData*);
using TRAROpenArchiveEx = HANDLE (*)(RAROpenArchiveDataEx*);
using TRARCloseArchive = int (*)(HANDLE);
using TRARReadHeader = int (*)(HANDLE, RARHeaderData*);
using TRARReadHeaderEx = int (*)(HANDLE, RARHeaderDataEx*);
using TRARProcessFile = int (*)(HANDLE, int, char*, char*);
using TRARSetCallback = void (*)(HANDLE, UNRARCALLBACK, LPARAM);
using TRARSetChangeVolProc = void (*)(HANDLE, CHANGEVOLPROC);
using TRARSetProcessDataProc = void (*)(HANDLE, PROCESSDATAPROC);
using TRARSetPassword = void (*)(HANDLE, char*);
using TRARGetDllVersion = int (*)();

// The library's eleven entry points, in the order they are looked up.
struct TUnRarLibrary {
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
};

// The process-wide slots, filled by LoadUnRarLibrary and emptied by
// FreeUnRarLibrary. Nothing else writes them.
extern TUnRarLibrary Library;

// Set while the library is loaded and the slots are filled.
extern bool UnRarLoaded;

// Set while the loaded library reads its files through buffers of ours
// (BufferedReads.h).
extern bool UnRarReadsBuffered;

// Loads the library by its default name, or the file named by the
// environment variable BRAMBOLD_UNRAR_LIBRARY. A library that does not load
// leaves UnRarLoaded clear and is no error. Each successful load is counted.
void LoadUnRarLibrary();

// Ends one load; the last frees the library, clears UnRarLoaded and
// empties every slot.
void FreeUnRarLibrary();

}  // namespace untUnRar
