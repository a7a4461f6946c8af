#pragma once

#include <sys/types.h>

// The library reads its archive a few bytes at a time, each header twice,
// with a seek before nearly every read: about seven system calls for every
// entry, half of what testing an archive of small files costs. Once it is
// loaded, its own calls to open, read, seek, duplicate and close a file come
// here instead. A file it opens for reading only is then read through a
// buffer of its own, and its position is kept here; any other file, and any
// call from elsewhere in the process, goes straight to the system.
namespace untUnRar {

// Sends the calls of the library loaded as `handle` here; false when its
// calls could not be found or changed, and it then reads as it always did.
bool BufferLibraryReads(void* handle);

// The calls the library is given, with the system's meaning. Threads may
// use them at once, each on files of its own.
namespace buffered {
int Open(const char* path, int flags, ...);
int OpenChecked(const char* path, int flags);  // the checked form, without a mode
ssize_t Read(int fd, void* out, size_t size);
off_t Seek(int fd, off_t offset, int whence);
int Duplicate(int fd);
int Close(int fd);
// True while `fd` is read through a buffer.
bool Buffered(int fd);
}  // namespace buffered

}  // namespace untUnRar
