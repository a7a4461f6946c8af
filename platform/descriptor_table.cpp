#include "platform/descriptor_table.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

void ReserveDescriptorTable(int count)
{
    rlimit limit{};
    if (count <= 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == 0)
        return;
    const auto highest = static_cast<int>(std::min<rlim_t>(static_cast<rlim_t>(count), limit.rlim_cur) - 1);
    // Standard input may be closed, so the copy is of a descriptor of our own.
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null < 0)
        return;
    // The lowest free number at or above `highest`: the table grows to hold
    // it and keeps that size once it is closed.
    const int far = fcntl(null, F_DUPFD_CLOEXEC, highest);
    if (far >= 0)
        close(far);
    close(null);
}

}  // namespace platform
