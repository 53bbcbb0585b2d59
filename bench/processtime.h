#pragma once
// Processor time, ms, of this process's threads (RUSAGE_SELF) or of its children that have
// ended (RUSAGE_CHILDREN). On a machine busy with other work wall-clock figures stretch;
// these do far less. And the median wall-clock or processor time of a piece of work.
#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <functional>
#include <vector>

inline double cpuMs(int who = RUSAGE_SELF)
{
    rusage use {};
    getrusage(who, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

// The median of `runs` timed runs of the work, ms, after one untimed run that warms the
// caches (and loads what the work loads once).
inline double medianMs(const std::function<void()> &work, int runs)
{
    std::vector<double> times;
    work();
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The processor time of each of `runs` runs of the work, ms, after one untimed run: of this
// process (RUSAGE_SELF) or, for work that runs a process and waits for its end, of that
// process (RUSAGE_CHILDREN).
inline std::vector<double> cpuMsOfRuns(const std::function<void()> &work, int runs, int who = RUSAGE_SELF)
{
    std::vector<double> times;
    work();
    for (int i = 0; i < runs; ++i) {
        const double before = cpuMs(who);
        work();
        times.push_back(cpuMs(who) - before);
    }
    return times;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The median of cpuMsOfRuns().
inline double medianCpuMs(const std::function<void()> &work, int runs, int who = RUSAGE_SELF)
{
    return median(cpuMsOfRuns(work, runs, who));
}
