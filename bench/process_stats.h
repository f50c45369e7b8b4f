// What the two programs of bench/widget_vs_crossfade.sh measure of their own
// process: CPU time, and resident memory, now and at its peak, and the part
// of it that is the process's own.
#pragma once

#include <sys/resource.h>

#include <cstdio>

namespace mirel::bench {

// User and system time of all threads so far, in ms.
inline double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// A field of a /proc/self file in KiB, -1 if unknown.
inline long ProcKiB(const char* file, const char* field)
{
    std::FILE* status = std::fopen(file, "r");
    if (status == nullptr)
        return -1;
    char line[256], format[64];
    std::snprintf(format, sizeof format, "%s: %%ld", field);
    long kib = -1;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, format, &kib) == 1)
            break;
    std::fclose(status);
    return kib;
}

inline long ResidentKiB() { return ProcKiB("/proc/self/status", "VmRSS"); }
inline long PeakResidentKiB() { return ProcKiB("/proc/self/status", "VmHWM"); }
// The resident pages no other process maps and that the process wrote: its
// pictures, heap and stacks, not the code of the libraries it maps (which
// the resident set counts, page by page, as the program happens to touch
// and the kernel to map around what it touches).
inline long PrivateDirtyKiB() { return ProcKiB("/proc/self/smaps_rollup", "Private_Dirty"); }

// Starts the peak over from what is resident now (Linux 4.0 and later), so
// that a run's peak leaves out what came before it.
inline void ResetPeakResident()
{
    if (std::FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

} // namespace mirel::bench
