#include "archive/library/BufferedReads.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <limits>
#include <link.h>
#include <memory>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace untUnRar {

namespace buffered {

namespace {

constexpr size_t BufferSize = 64 * 1024;
// Descriptors from here on are not buffered.
constexpr int MaxBuffered = 4096;

// One open file read through a buffer: where the library stands in it, and
// which bytes of it the buffer holds.
struct TOpenFile {
    off_t position = 0;
    off_t start = 0;  // of the buffer's bytes in the file
    size_t filled = 0;
    std::unique_ptr<char[]> bytes;
};

// Written by the thread that opens or closes the descriptor; the kernel
// hands a number to one file at a time.
std::atomic<TOpenFile*> Files[MaxBuffered];

TOpenFile* Find(int fd)
{
    return fd >= 0 && fd < MaxBuffered ? Files[fd].load(std::memory_order_acquire) : nullptr;
}

void Start(int fd, int flags)
{
    if (fd < 0 || fd >= MaxBuffered || (flags & O_ACCMODE) != O_RDONLY)
        return;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    // Called inside the library: out of memory, the file is simply not
    // buffered, and no exception crosses the library's frames.
    std::unique_ptr<TOpenFile> file(new (std::nothrow) TOpenFile);
    if (!file)
        return;
    file->bytes.reset(new (std::nothrow) char[BufferSize]);
    if (!file->bytes)
        return;
    delete Files[fd].exchange(file.release(), std::memory_order_acq_rel);
}

// The descriptor is read directly from now on, from where the library stood.
void Stop(int fd)
{
    if (fd < 0 || fd >= MaxBuffered)
        return;
    if (TOpenFile* file = Files[fd].exchange(nullptr, std::memory_order_acq_rel)) {
        lseek(fd, file->position, SEEK_SET);
        delete file;
    }
}

}  // namespace

int Open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list rest;
        va_start(rest, flags);
        mode = static_cast<mode_t>(va_arg(rest, int));
        va_end(rest);
    }
    const int fd = open(path, flags, mode);
    Start(fd, flags);
    return fd;
}

int OpenChecked(const char* path, int flags)
{
    const int fd = open(path, flags);
    Start(fd, flags);
    return fd;
}

ssize_t Read(int fd, void* out, size_t size)
{
    TOpenFile* file = Find(fd);
    if (!file)
        return read(fd, out, size);
    if (size >= BufferSize / 2) {
        const ssize_t got = pread(fd, out, size, file->position);
        if (got > 0)
            file->position += got;
        return got;
    }
    if (file->position < file->start || static_cast<uint64_t>(file->position - file->start) + size > file->filled) {
        const ssize_t got = pread(fd, file->bytes.get(), BufferSize, file->position);
        if (got < 0)
            return got;
        file->start = file->position;
        file->filled = static_cast<size_t>(got);
    }
    const auto offset = static_cast<size_t>(file->position - file->start);
    const size_t part = std::min(size, file->filled - std::min(offset, file->filled));
    std::memcpy(out, file->bytes.get() + offset, part);
    file->position += static_cast<off_t>(part);
    return static_cast<ssize_t>(part);
}

off_t Seek(int fd, off_t offset, int whence)
{
    TOpenFile* file = Find(fd);
    if (!file)
        return lseek(fd, offset, whence);
    if (whence != SEEK_SET && whence != SEEK_CUR) {
        // From the end, or to data or a hole: the kernel knows.
        const off_t now = lseek(fd, offset, whence);
        if (now >= 0)
            file->position = now;
        return now;
    }
    const off_t base = whence == SEEK_SET ? 0 : file->position;
    if (offset > 0 && base > std::numeric_limits<off_t>::max() - offset) {
        errno = EOVERFLOW;
        return -1;
    }
    if (base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    file->position = base + offset;
    return file->position;
}

int Duplicate(int fd)
{
    // Duplicates share their position; rather than share it here too, the
    // file goes back to the kernel's keeping.
    Stop(fd);
    return dup(fd);
}

int Close(int fd)
{
    if (fd >= 0 && fd < MaxBuffered)
        delete Files[fd].exchange(nullptr, std::memory_order_acq_rel);
    return close(fd);
}

bool Buffered(int fd)
{
    return Find(fd) != nullptr;
}

}  // namespace buffered

namespace {

// Both are 64-bit, as the relocation macros below assume.
#if defined(__x86_64__)
constexpr uint32_t JumpSlot = R_X86_64_JUMP_SLOT;
constexpr uint32_t GlobalData = R_X86_64_GLOB_DAT;
#elif defined(__aarch64__)
constexpr uint32_t JumpSlot = R_AARCH64_JUMP_SLOT;
constexpr uint32_t GlobalData = R_AARCH64_GLOB_DAT;
#else
constexpr uint32_t JumpSlot = UINT32_MAX;
constexpr uint32_t GlobalData = UINT32_MAX;
#endif

enum : unsigned { Opens = 1, Reads = 2, Seeks = 4, Closes = 8, AllKinds = 15 };

struct TRedirect {
    std::string_view name;
    void* to;
    unsigned kind;
};

const TRedirect Redirects[] = {
    {"open64", reinterpret_cast<void*>(&buffered::Open), Opens},
    {"open", reinterpret_cast<void*>(&buffered::Open), Opens},
    {"__open64_2", reinterpret_cast<void*>(&buffered::OpenChecked), Opens},
    {"__open_2", reinterpret_cast<void*>(&buffered::OpenChecked), Opens},
    {"read", reinterpret_cast<void*>(&buffered::Read), Reads},
    {"lseek64", reinterpret_cast<void*>(&buffered::Seek), Seeks},
    {"lseek", reinterpret_cast<void*>(&buffered::Seek), Seeks},
    {"dup", reinterpret_cast<void*>(&buffered::Duplicate), 0},
    {"close", reinterpret_cast<void*>(&buffered::Close), Closes},
};

// The library's own read-only relocations, made read-only after loading.
struct TReadOnlyPart {
    ElfW(Addr) base;
    uintptr_t start = 0, end = 0;
};

int FindReadOnlyPart(dl_phdr_info* info, size_t, void* data)
{
    auto* part = static_cast<TReadOnlyPart*>(data);
    if (info->dlpi_addr != part->base)
        return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& h = info->dlpi_phdr[i];
        if (h.p_type == PT_GNU_RELRO) {
            part->start = info->dlpi_addr + h.p_vaddr;
            part->end = part->start + h.p_memsz;
        }
    }
    return 1;
}

// Points one slot of the library's table of addresses elsewhere; false,
// with nothing changed, when its page cannot be written.
bool Rewrite(void** slot, void* to, const TReadOnlyPart& readOnly)
{
    const auto pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto down = [pageSize](uintptr_t a) { return a & ~(pageSize - 1); };
    const uintptr_t page = down(reinterpret_cast<uintptr_t>(slot));
    // The loader made these pages read-only: the part's whole pages.
    const bool readOnlyPage = page >= down(readOnly.start) && page < down(readOnly.end);
    if (mprotect(reinterpret_cast<void*>(page), pageSize, PROT_READ | PROT_WRITE) != 0)
        return false;
    *slot = to;
    if (readOnlyPage)
        mprotect(reinterpret_cast<void*>(page), pageSize, PROT_READ);
    return true;
}

}  // namespace

bool BufferLibraryReads(void* handle)
{
    if (JumpSlot == UINT32_MAX)
        return false;
    link_map* map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return false;
    const ElfW(Addr) base = map->l_addr;
    // The loader may have made these addresses absolute already.
    const auto at = [base](ElfW(Addr) p) { return p < base ? p + base : p; };
    const ElfW(Sym)* symbols = nullptr;
    const char* names = nullptr;
    const ElfW(Rela) * tables[2] = {};
    size_t sizes[2] = {};
    ElfW(Sxword) pltKind = DT_RELA;
    for (const ElfW(Dyn)* d = map->l_ld; d->d_tag != DT_NULL; ++d) {
        switch (d->d_tag) {
        case DT_SYMTAB:
            symbols = reinterpret_cast<const ElfW(Sym)*>(at(d->d_un.d_ptr));
            break;
        case DT_STRTAB:
            names = reinterpret_cast<const char*>(at(d->d_un.d_ptr));
            break;
        case DT_JMPREL:
            tables[0] = reinterpret_cast<const ElfW(Rela)*>(at(d->d_un.d_ptr));
            break;
        case DT_PLTRELSZ:
            sizes[0] = d->d_un.d_val;
            break;
        case DT_PLTREL:
            pltKind = static_cast<ElfW(Sxword)>(d->d_un.d_val);
            break;
        case DT_RELA:
            tables[1] = reinterpret_cast<const ElfW(Rela)*>(at(d->d_un.d_ptr));
            break;
        case DT_RELASZ:
            sizes[1] = d->d_un.d_val;
            break;
        default:
            break;
        }
    }
    if (!symbols || !names || pltKind != DT_RELA)
        return false;

    TReadOnlyPart readOnly{base};
    dl_iterate_phdr(&FindReadOnlyPart, &readOnly);
    struct TFound {
        void** slot;
        void* to;
        void* was;
    };
    TFound found[64];
    size_t count = 0;
    unsigned kinds = 0;
    for (size_t t = 0; t < 2; ++t) {
        if (!tables[t])
            continue;
        for (size_t i = 0; i < sizes[t] / sizeof(ElfW(Rela)); ++i) {
            const ElfW(Rela)& r = tables[t][i];
            const auto kind = static_cast<uint32_t>(ELF64_R_TYPE(r.r_info));
            if (kind != JumpSlot && kind != GlobalData)
                continue;
            const std::string_view name = names + symbols[ELF64_R_SYM(r.r_info)].st_name;
            for (const TRedirect& redirect : Redirects) {
                if (redirect.name != name)
                    continue;
                if (count == std::size(found))
                    return false;
                auto** slot = reinterpret_cast<void**>(base + r.r_offset);
                found[count++] = {slot, redirect.to, *slot};
                kinds |= redirect.kind;
            }
        }
    }
    // A file opened here and read or moved by the system, or the other way
    // round, would be read at the wrong place: every kind of call or none.
    if (kinds != AllKinds)
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (!Rewrite(found[i].slot, found[i].to, readOnly)) {
            while (i-- > 0)
                Rewrite(found[i].slot, found[i].was, readOnly);
            return false;
        }
    }
    return true;
}

}  // namespace untUnRar
