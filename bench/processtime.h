#pragma once
// Processor time, ms, of this process's threads (RUSAGE_SELF) or of its children that have
// ended (RUSAGE_CHILDREN). On a machine busy with other work wall-clock figures stretch;
// these do far less.
#include <sys/resource.h>

inline double cpuMs(int who = RUSAGE_SELF)
{
    rusage use {};
    getrusage(who, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}
