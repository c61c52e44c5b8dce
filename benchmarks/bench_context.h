// Shared by the benchmarks: a context of the library on the simulated
// television, and the baseline catalogue.
#ifndef VELQUAR_BENCH_CONTEXT_H
#define VELQUAR_BENCH_CONTEXT_H

#include <sys/resource.h>

#include <algorithm>
#include <string>
#include <vector>

#include "baseline_catalogue.h"
#include "velquar_platform.h"

namespace velquar_bench {

// One live context for the life of the object; aborts when none can be made.
class Context {
public:
    Context();
    ~Context();
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    DevicePropertiesProviderContext *get() const { return m_context; }

private:
    DevicePropertiesProviderContext *m_context = nullptr;
};

// The "min" statistic over repetitions: the run least disturbed by other
// work on the machine.
inline double fastest(const std::vector<double> &runs) {
    return runs.empty() ? 0 : *std::min_element(runs.begin(), runs.end());
}

// User plus system seconds of a resource usage record.
inline double cpuSeconds(const struct rusage &usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Fills an empty map with the 49 entries the way the library's catalogue is
// filled: a local array of name/entry pairs, inserted in one go.
void fillBaselineCatalogue(BaselineCatalogue &catalogue);

// Aborts unless every baseline name is in the library with the same type.
void checkBaselineCatalogue();

struct Timing {
    double wallSeconds;
    double cpuSeconds;  // user + system of the process and what it waited for
    long peakKib;       // largest resident set of the process and what it waited for
};

// Runs argv in the working folder, its standard output discarded, with at
// most maxFiles descriptors when that is not 0; exits when it does not
// exit 0 (reset_bench.cpp).
Timing runTimed(const char *const argv[], const std::string &cwd, rlim_t maxFiles = 0);

// velquar-fleet check and its baseline, the bare replays (fleet_bench.cpp).
void registerFleetBenchmarks();

// factory-reset and its rm -rf baseline on fresh trees; the shape and the
// number of runs come from the environment (see reset_bench.cpp).
void registerResetBenchmarks();

}  // namespace velquar_bench

#endif
