#include "threadpriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void runThisThreadInBackground()
{
    // On Linux the nice value belongs to each thread, named by its thread id.
    const auto thread = id_t(::syscall(SYS_gettid));
    if (::getpriority(PRIO_PROCESS, thread) < BackgroundNice)
        (void)::setpriority(PRIO_PROCESS, thread, BackgroundNice);
}
