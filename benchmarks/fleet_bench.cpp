// velquar-fleet check of the project's own fleet (tests/fleet/), timed per
// bundle, against the bare replays it is made of: velquar-sim --bundle B
// velquar-props --json, one bundle after another. Only the bundles that
// replay at once take part; the two whose television never reports the
// expected input source hold their replay about 10 s each, in the library.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_context.h"

namespace velquar_bench {
namespace {

const char *const kBundles[] = {"1080p-wifi", "4k-hdr"};
const double kCount = sizeof kBundles / sizeof kBundles[0];

std::string bundle(const char *name) {
    return std::string(VELQUAR_FLEET_DIR "/") + name;
}

// Times argv per iteration, the wall-clock time and the processes' CPU time
// divided by the bundles it stands for.
void timePerBundle(benchmark::State &state, const std::vector<std::vector<std::string>> &commands) {
    double cpu = 0;
    for (auto _ : state) {
        double wall = 0;
        for (const std::vector<std::string> &words : commands) {
            std::vector<const char *> argv;
            for (const std::string &w : words) {
                argv.push_back(w.c_str());
            }
            argv.push_back(nullptr);
            const Timing timing = runTimed(argv.data(), ".");
            wall += timing.wallSeconds;
            cpu += timing.cpuSeconds;
        }
        state.SetIterationTime(wall / kCount);
    }
    state.counters["bundles"] = kCount;
    state.counters["child_cpu_s"] =
        benchmark::Counter(cpu / kCount, benchmark::Counter::kAvgIterations);
}

void BM_FleetCheck(benchmark::State &state) {
    std::vector<std::string> check = {VELQUAR_FLEET_PATH, "check", "--library",
                                      VELQUAR_LIBRARY_PATH};
    for (const char *name : kBundles) {
        check.push_back(bundle(name));
    }
    timePerBundle(state, {check});
}

void BM_FleetReplay(benchmark::State &state) {
    std::vector<std::vector<std::string>> replays;
    for (const char *name : kBundles) {
        replays.push_back({VELQUAR_SIM_PATH, "--bundle", bundle(name), "--", VELQUAR_PROPS_PATH,
                           "--json", "-q", "--library", VELQUAR_LIBRARY_PATH});
    }
    timePerBundle(state, replays);
}

}  // namespace

void registerFleetBenchmarks() {
    benchmark::RegisterBenchmark("BM_FleetCheck", BM_FleetCheck)
        ->UseManualTime()
        ->ComputeStatistics("min", fastest)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_FleetReplay", BM_FleetReplay)
        ->UseManualTime()
        ->ComputeStatistics("min", fastest)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace velquar_bench
