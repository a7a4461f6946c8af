// One pass straight through RARLAB's library, with nothing of the program
// around it but the buffer the program gives the library's reads: what a
// program built on this library as ours is cannot beat.
// Usage: library_floor ARCHIVE          extracts into the current folder
//        library_floor --test ARCHIVE   unpacks every entry in test mode and
//                                       takes its bytes through the callback,
//                                       writing nothing: the share of a run
//                                       that one library handle does alone
#define _UNIX
#include <unrar/dll.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>

#include "archive/library/BufferedReads.h"

namespace {

int CALLBACK TakeData(UINT msg, LPARAM, LPARAM, LPARAM)
{
    return msg == UCM_PROCESSDATA || msg == UCM_CHANGEVOLUME || msg == UCM_CHANGEVOLUMEW ? 1 : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool test = argc == 3 && std::strcmp(argv[1], "--test") == 0;
    if (argc != 2 && !test) {
        std::fprintf(stderr, "usage: library_floor [--test] ARCHIVE\n");
        return 2;
    }
    // Named once, as the program names it: without TZ the C library looks
    // at /etc/localtime again for every entry's time.
    if (!std::getenv("TZ")) {
        setenv("TZ", ":/etc/localtime", 0);
        tzset();
    }
    void* library = dlopen("libunrar.so.5", RTLD_NOW);
    if (!library) {
        std::fprintf(stderr, "library_floor: %s\n", dlerror());
        return 1;
    }
    untUnRar::BufferLibraryReads(library);
    const auto open = reinterpret_cast<HANDLE (*)(RAROpenArchiveDataEx*)>(dlsym(library, "RAROpenArchiveEx"));
    const auto read = reinterpret_cast<int (*)(HANDLE, RARHeaderDataEx*)>(dlsym(library, "RARReadHeaderEx"));
    const auto process = reinterpret_cast<int (*)(HANDLE, int, char*, char*)>(dlsym(library, "RARProcessFile"));
    const auto close = reinterpret_cast<int (*)(HANDLE)>(dlsym(library, "RARCloseArchive"));

    RAROpenArchiveDataEx data{};
    data.ArcName = argv[argc - 1];
    data.OpenMode = RAR_OM_EXTRACT;
    if (test)
        data.Callback = TakeData;
    HANDLE archive = open(&data);
    if (!archive || data.OpenResult != ERAR_SUCCESS)
        return 1;
    static RARHeaderDataEx header;
    const int operation = test ? RAR_TEST : RAR_EXTRACT;
    int result = ERAR_SUCCESS;
    while ((result = read(archive, &header)) == ERAR_SUCCESS)
        if ((result = process(archive, operation, nullptr, nullptr)) != ERAR_SUCCESS)
            break;
    close(archive);
    return result == ERAR_END_ARCHIVE ? 0 : 1;
}
