#pragma once

namespace platform {

// Grows this process's table of file descriptors to hold `count` of them
// (fewer when the process may not open that many), opening none for good.
// Call it while the process has one thread: the kernel doubles the table as
// descriptors are needed, and once a second thread shares it, each growth
// waits for every processor to pass a quiescent state, milliseconds at a
// time. A run that holds a hundred files and folders open at once would
// otherwise pay that two or three times, when it starts from the small
// table a parent such as time(1) hands on.
void ReserveDescriptorTable(int count);

// The descriptors a run of the program may hold at once: the writer's
// folders and files on their way, and what Qt and the library keep open.
constexpr int ProgramDescriptors = 512;

}  // namespace platform
