// One extraction pass straight through RARLAB's library, with nothing of the
// program around it: what any program built on this library cannot beat.
// Usage: library_floor ARCHIVE   (extracts into the current folder)
#define _UNIX
#include <unrar/dll.hpp>

#include <cstdio>
#include <dlfcn.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: library_floor ARCHIVE\n");
        return 2;
    }
    void* library = dlopen("libunrar.so.5", RTLD_NOW);
    if (!library) {
        std::fprintf(stderr, "library_floor: %s\n", dlerror());
        return 1;
    }
    const auto open = reinterpret_cast<HANDLE (*)(RAROpenArchiveDataEx*)>(dlsym(library, "RAROpenArchiveEx"));
    const auto read = reinterpret_cast<int (*)(HANDLE, RARHeaderDataEx*)>(dlsym(library, "RARReadHeaderEx"));
    const auto process = reinterpret_cast<int (*)(HANDLE, int, char*, char*)>(dlsym(library, "RARProcessFile"));
    const auto close = reinterpret_cast<int (*)(HANDLE)>(dlsym(library, "RARCloseArchive"));

    RAROpenArchiveDataEx data{};
    data.ArcName = argv[1];
    data.OpenMode = RAR_OM_EXTRACT;
    HANDLE archive = open(&data);
    if (!archive || data.OpenResult != ERAR_SUCCESS)
        return 1;
    static RARHeaderDataEx header;
    int result = ERAR_SUCCESS;
    while ((result = read(archive, &header)) == ERAR_SUCCESS)
        if ((result = process(archive, RAR_EXTRACT, nullptr, nullptr)) != ERAR_SUCCESS)
            break;
    close(archive);
    return result == ERAR_END_ARCHIVE ? 0 : 1;
}
