// Reads through the library's exported functions on the simulated
// television, each beside the baseline of the work it cannot avoid.
#include <benchmark/benchmark.h>
#include <iniparser.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>

#include "app_ipc.h"
#include "bench_context.h"

namespace velquar_bench {
namespace {

const char kTotalMemoryCommand[] = "free | grep Mem | awk '{print $2}'";
const char kCacheSizeKey[] = "PlaybackMisc:FragmentCacheSize";

// The name through an opaque pointer, so that no look-up folds at compile time.
const char *opaque(const char *name) {
    benchmark::DoNotOptimize(name);
    return name;
}

const BaselineCatalogue &baselineCatalogue() {
    static const BaselineCatalogue catalogue = [] {
        BaselineCatalogue c;
        fillBaselineCatalogue(c);
        return c;
    }();
    return catalogue;
}

// The dictionary the library's configuration store reads: the file the
// service names, loaded once.
dictionary *configDictionary() {
    static dictionary *dict = [] {
        char path[APPIPC_CONFIG_PATH_SIZE] = {};
        if (AppIpcApi_GetAPPConfigFilePath(5, path) != 0 || !path[0]) {
            fprintf(stderr, "bench: the service names no configuration file\n");
            abort();
        }
        dictionary *d = iniparser_load(path);
        if (!d) {
            fprintf(stderr, "bench: cannot load %s\n", path);
            abort();
        }
        return d;
    }();
    return dict;
}

void mustBeOk(benchmark::State &state, int rc) {
    if (rc != PROPERTY_OK) {
        state.SkipWithError("the read failed");
    }
}

void BM_SnapshotRead(benchmark::State &state) {
    Context context;
    const char *name = opaque("supportsUHD");
    bool value = false;
    int rc = PROPERTY_OK;
    for (auto _ : state) {
        rc |= GetBoolProperty(context.get(), name, &value);
        benchmark::DoNotOptimize(value);
    }
    mustBeOk(state, rc);
}
BENCHMARK(BM_SnapshotRead)->ComputeStatistics("min", fastest);

void BM_SnapshotBaseline(benchmark::State &state) {
    const BaselineCatalogue &catalogue = baselineCatalogue();
    const char *name = opaque("supportsUHD");
    for (auto _ : state) {
        auto it = catalogue.find(std::string(name));
        benchmark::DoNotOptimize(it->second.type);
    }
}
BENCHMARK(BM_SnapshotBaseline)->ComputeStatistics("min", fastest);

void BM_StringRead(benchmark::State &state) {
    Context context;
    const char *name = opaque("hdcpFullVersion");
    char buffer[64];
    int rc = PROPERTY_OK;
    for (auto _ : state) {
        int size = sizeof buffer;
        rc |= GetStringProperty(context.get(), name, buffer, &size);
        benchmark::DoNotOptimize(buffer);
    }
    mustBeOk(state, rc);
}
BENCHMARK(BM_StringRead)->ComputeStatistics("min", fastest);

void BM_StringBaseline(benchmark::State &state) {
    const BaselineCatalogue &catalogue = baselineCatalogue();
    const char *name = opaque("hdcpFullVersion");
    int major = 2;
    int minor = 2;
    for (auto _ : state) {
        auto it = catalogue.find(std::string(name));
        benchmark::DoNotOptimize(it->second.type);
        benchmark::DoNotOptimize(major);
        benchmark::DoNotOptimize(minor);
        std::ostringstream text;
        text << major << "." << minor;
        std::string value = text.str();
        benchmark::DoNotOptimize(value.data());
    }
}
BENCHMARK(BM_StringBaseline)->ComputeStatistics("min", fastest);

void BM_ConfigRead(benchmark::State &state) {
    Context context;
    const char *name = opaque("fragmentCacheSize");
    int value = 0;
    // The store loads its file on the first read, outside the timing.
    int rc = GetInt32Property(context.get(), name, &value);
    for (auto _ : state) {
        rc |= GetInt32Property(context.get(), name, &value);
        benchmark::DoNotOptimize(value);
    }
    mustBeOk(state, rc);
}
BENCHMARK(BM_ConfigRead)->ComputeStatistics("min", fastest);

void BM_ConfigBaseline(benchmark::State &state) {
    dictionary *dict = configDictionary();
    const char *key = opaque(kCacheSizeKey);
    int value = -1;
    for (auto _ : state) {
        value = iniparser_getint(dict, key, -1);
        benchmark::DoNotOptimize(value);
    }
    if (value == -1) {
        state.SkipWithError("the key is missing");
    }
}
BENCHMARK(BM_ConfigBaseline)->ComputeStatistics("min", fastest);

// The CPU seconds of the waited-for children (the shell and its pipeline)
// per iteration, as the counter child_cpu_s: a cross-check of the wall-clock
// figure that the machine's load disturbs less.
class ChildCpu {
public:
    explicit ChildCpu(benchmark::State &state) : m_state(state) { m_start = childrenSeconds(); }
    ~ChildCpu() {
        m_state.counters["child_cpu_s"] =
            benchmark::Counter(childrenSeconds() - m_start, benchmark::Counter::kAvgIterations);
    }
    ChildCpu(const ChildCpu &) = delete;
    ChildCpu &operator=(const ChildCpu &) = delete;

private:
    static double childrenSeconds() {
        struct rusage usage = {};
        getrusage(RUSAGE_CHILDREN, &usage);
        return cpuSeconds(usage);
    }

    benchmark::State &m_state;
    double m_start = 0;
};

void BM_ShellRead(benchmark::State &state) {
    Context context;
    const char *name = opaque("totalMemory");
    long long value = 0;
    int rc = PROPERTY_OK;
    ChildCpu childCpu(state);
    for (auto _ : state) {
        rc |= GetInt64Property(context.get(), name, &value);
        benchmark::DoNotOptimize(value);
    }
    mustBeOk(state, rc);
}
BENCHMARK(BM_ShellRead)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

void BM_ShellBaseline(benchmark::State &state) {
    const char *command = opaque(kTotalMemoryCommand);
    char line[256];
    bool read = true;
    ChildCpu childCpu(state);
    for (auto _ : state) {
        FILE *pipe = popen(command, "r");
        if (!pipe) {
            state.SkipWithError("popen failed");
            break;
        }
        read &= fgets(line, sizeof line, pipe) != nullptr;
        pclose(pipe);
        benchmark::DoNotOptimize(line);
    }
    if (!read) {
        state.SkipWithError("the command printed nothing");
    }
}
BENCHMARK(BM_ShellBaseline)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

void BM_ContextCycle(benchmark::State &state) {
    int rc = PROPERTY_OK;
    for (auto _ : state) {
        DevicePropertiesProviderContext *context = nullptr;
        rc |= CreateDevicePropertiesProviderContext(&context);
        rc |= ReleaseDevicePropertiesProviderContext(context);
    }
    mustBeOk(state, rc);
}
BENCHMARK(BM_ContextCycle)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

void BM_CatalogueBuild(benchmark::State &state) {
    for (auto _ : state) {
        BaselineCatalogue catalogue;
        fillBaselineCatalogue(catalogue);
        benchmark::DoNotOptimize(catalogue);
    }
}
BENCHMARK(BM_CatalogueBuild)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

template <size_t... I>
void fillFrom(BaselineCatalogue &catalogue, std::index_sequence<I...>) {
    const std::pair<std::string, BaselineEntry> entries[] = {
        {kProperties[I].name, BaselineEntry{kProperties[I].type, nullptr}}...};
    catalogue.insert(std::begin(entries), std::end(entries));
}

}  // namespace

Context::Context() {
    if (CreateDevicePropertiesProviderContext(&m_context) != PROPERTY_OK) {
        fprintf(stderr, "bench: no context\n");
        abort();
    }
}

Context::~Context() {
    ReleaseDevicePropertiesProviderContext(m_context);
}

void fillBaselineCatalogue(BaselineCatalogue &catalogue) {
    fillFrom(catalogue, std::make_index_sequence<std::size(kProperties)>());
}

namespace {

bool refusedAs(DevicePropertiesProviderContext *context, const char *name, int type) {
    bool flag;
    int narrow;
    long long wide;
    int size = 0;
    int rc = PROPERTY_OK;
    switch (type) {
        case 1:
            rc = GetBoolProperty(context, name, &flag);
            break;
        case 2:
            rc = GetInt32Property(context, name, &narrow);
            break;
        case 3:
            rc = GetInt64Property(context, name, &wide);
            break;
        default:
            rc = GetStringProperty(context, name, nullptr, &size);
            break;
    }
    return rc == PROPERTY_TYPE_MISMATCH;
}

}  // namespace

void checkBaselineCatalogue() {
    Context context;
    // A read of another type is refused before any getter runs; refusals
    // for the three other types mean the name is there with this type.
    for (const NamedType &property : kProperties) {
        for (int type = 1; type <= 4; ++type) {
            if (type != property.type && !refusedAs(context.get(), property.name, type)) {
                fprintf(stderr, "bench: the baseline catalogue is not the library's at %s\n",
                        property.name);
                abort();
            }
        }
    }
}

}  // namespace velquar_bench
