// The benchmark program: Google Benchmark's command line, after a check that
// the baselines still describe the library.
#include <benchmark/benchmark.h>

#include "bench_context.h"

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    velquar_bench::checkBaselineCatalogue();
    velquar_bench::registerResetBenchmarks();
    velquar_bench::registerFleetBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
