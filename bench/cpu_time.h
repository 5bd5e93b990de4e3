// The benchmarks' measure of what a run cost: the CPU time of this process.
#pragma once

#include <sys/resource.h>

namespace ovx::bench {

// User and system time of every thread of this process so far, in seconds.
inline double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace ovx::bench
