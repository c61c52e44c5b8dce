// factory-reset emptying a folder of FOLDERS x FILES empty files, against
// `rm -rf DIR/*` of a tree of the same shape; and emptying a chain of nested
// folders and one flat folder of files, against `rm -rf` of the same tree,
// both under a 1,024-descriptor limit, and the chain again under a limit of
// 16 descriptors. All run as processes; each run gets a
// freshly built tree, and only the process is timed, its peak memory taken
// from wait4.
//
// Environment:
//   VELQUAR_BENCH_RESET_SHAPE=FOLDERSxFILES  tree shape (default 1000x100)
//   VELQUAR_BENCH_CHAIN_DEPTH=N  levels of the chain (default 50000)
//   VELQUAR_BENCH_FLAT_FILES=N  files of the flat folder (default 200000)
//   VELQUAR_BENCH_RESET_RUNS=N  timed runs of each (default 3), one per
//       repetition, so that random interleaving mixes them with the other's
//   VELQUAR_BENCH_DIR=DIR  where the trees are built (default the working
//       folder; the file system there is part of what is measured)
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "bench_context.h"

namespace velquar_bench {
namespace {

struct Shape {
    int folders;
    int files;
};

Shape resetShape() {
    Shape shape{1000, 100};
    if (const char *text = getenv("VELQUAR_BENCH_RESET_SHAPE")) {
        if (sscanf(text, "%dx%d", &shape.folders, &shape.files) != 2 || shape.folders < 1 ||
            shape.files < 0) {
            fprintf(stderr, "bench: VELQUAR_BENCH_RESET_SHAPE is FOLDERSxFILES, not %s\n", text);
            exit(2);
        }
    }
    return shape;
}

int sizeFrom(const char *variable, int fallback) {
    const char *text = getenv(variable);
    const int size = text ? atoi(text) : fallback;
    return size > 0 ? size : fallback;
}

int resetRuns() {
    const char *text = getenv("VELQUAR_BENCH_RESET_RUNS");
    int runs = text ? atoi(text) : 3;
    return runs > 0 ? runs : 1;
}

[[noreturn]] void fail(const std::string &what) {
    fprintf(stderr, "bench: %s: %s\n", what.c_str(), strerror(errno));
    exit(1);
}

// DIR/reset-bench/work: the working folder of both processes, holding
// reset_config.ini and the folder "data" that both empty.
struct Workspace {
    std::string work;
    std::string data;

    Workspace() {
        const char *base = getenv("VELQUAR_BENCH_DIR");
        const std::string root = std::string(base ? base : ".") + "/reset-bench";
        work = root + "/work";
        data = work + "/data";
        for (const std::string &dir : {root, work, data}) {
            if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
                fail("mkdir " + dir);
            }
        }
        FILE *config = fopen((work + "/reset_config.ini").c_str(), "w");
        if (!config || fputs("FactoryReset=data\n", config) < 0 || fclose(config) != 0) {
            fail("writing reset_config.ini");
        }
    }
};

const Workspace &workspace() {
    static const Workspace instance;
    return instance;
}

bool isEmpty(const std::string &dir) {
    DIR *d = opendir(dir.c_str());
    if (!d) {
        return false;
    }
    int entries = 0;
    while (const dirent *entry = readdir(d)) {
        entries += strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0;
    }
    closedir(d);
    return entries == 0;
}

// Creates count empty files f000000, f000001, ... in the folder dirFd (named
// folder in failures).
void createFiles(int dirFd, const std::string &folder, int count) {
    char name[32];
    for (int n = 0; n < count; ++n) {
        snprintf(name, sizeof name, "f%06d", n);
        const int fd = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            fail("create " + folder + "/" + name);
        }
        close(fd);
    }
}

// Fills the empty folder data with the shape, then writes it all out so
// that no write-back of the build overlaps the timed removal.
void buildTree(const std::string &data, const Shape &shape) {
    char name[32];
    for (int f = 0; f < shape.folders; ++f) {
        snprintf(name, sizeof name, "/d%04d", f);
        const std::string folder = data + name;
        if (mkdir(folder.c_str(), 0755) != 0) {
            fail("mkdir " + folder);
        }
        const int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0) {
            fail("open " + folder);
        }
        createFiles(dirFd, folder, shape.files);
        close(dirFd);
    }
    const int fd = open(data.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        syncfs(fd);
        close(fd);
    }
}

void timeRemoval(benchmark::State &state, const char *const argv[]) {
    const Workspace &ws = workspace();
    const Shape shape = resetShape();
    if (!isEmpty(ws.data)) {
        state.SkipWithError("the data folder is not empty before the run");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        buildTree(ws.data, shape);
        const Timing timing = runTimed(argv, ws.work);
        state.SetIterationTime(timing.wallSeconds);
        cpu += timing.cpuSeconds;
        if (!isEmpty(ws.data)) {
            state.SkipWithError("the data folder was not emptied");
            break;
        }
    }
    state.counters["files"] = static_cast<double>(shape.folders) * (shape.files + 1);
    state.counters["child_cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

// data/tree: a chain of depth folders, or one folder of files files.
void buildChainOrFlat(const std::string &data, int depth, int files) {
    const std::string top = data + "/tree";
    if (mkdir(top.c_str(), 0755) != 0) {
        fail("mkdir " + top);
    }
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 1; level < depth && fd >= 0; ++level) {
        const int next =
            mkdirat(fd, "d", 0755) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
    }
    if (fd < 0) {
        fail("building the chain in " + top);
    }
    createFiles(fd, top, files);
    syncfs(fd);
    close(fd);
}

void timeTreeRemoval(benchmark::State &state, const char *const argv[], int depth, int files,
                     rlim_t maxFiles = 1024) {
    const Workspace &ws = workspace();
    if (!isEmpty(ws.data)) {
        state.SkipWithError("the data folder is not empty before the run");
        return;
    }
    double cpu = 0;
    double peak = 0;
    for (auto _ : state) {
        buildChainOrFlat(ws.data, depth, files);
        const Timing timing = runTimed(argv, ws.work, maxFiles);
        state.SetIterationTime(timing.wallSeconds);
        cpu += timing.cpuSeconds;
        peak += static_cast<double>(timing.peakKib);
        if (!isEmpty(ws.data)) {
            state.SkipWithError("the data folder was not emptied");
            break;
        }
    }
    state.counters["files"] = depth + files;
    state.counters["child_cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["peak_kib"] = benchmark::Counter(peak, benchmark::Counter::kAvgIterations);
}

const char *const kResetArgv[] = {VELQUAR_FACTORY_RESET_PATH, nullptr};
const char *const kRmTreeArgv[] = {"/bin/rm", "-rf", "data/tree", nullptr};

void BM_FactoryResetChain(benchmark::State &state) {
    timeTreeRemoval(state, kResetArgv, sizeFrom("VELQUAR_BENCH_CHAIN_DEPTH", 50000), 0);
}

void BM_RmRfChain(benchmark::State &state) {
    timeTreeRemoval(state, kRmTreeArgv, sizeFrom("VELQUAR_BENCH_CHAIN_DEPTH", 50000), 0);
}

// The same chain with 16 descriptors: the walk holds fewer folders open.
void BM_FactoryResetChain16(benchmark::State &state) {
    timeTreeRemoval(state, kResetArgv, sizeFrom("VELQUAR_BENCH_CHAIN_DEPTH", 50000), 0, 16);
}

void BM_RmRfChain16(benchmark::State &state) {
    timeTreeRemoval(state, kRmTreeArgv, sizeFrom("VELQUAR_BENCH_CHAIN_DEPTH", 50000), 0, 16);
}

void BM_FactoryResetFlat(benchmark::State &state) {
    timeTreeRemoval(state, kResetArgv, 1, sizeFrom("VELQUAR_BENCH_FLAT_FILES", 200000));
}

void BM_RmRfFlat(benchmark::State &state) {
    timeTreeRemoval(state, kRmTreeArgv, 1, sizeFrom("VELQUAR_BENCH_FLAT_FILES", 200000));
}

void BM_FactoryReset(benchmark::State &state) {
    const char *const argv[] = {VELQUAR_FACTORY_RESET_PATH, nullptr};
    timeRemoval(state, argv);
}

void BM_RmRf(benchmark::State &state) {
    const char *const argv[] = {"/bin/sh", "-c", "rm -rf data/*", nullptr};
    timeRemoval(state, argv);
}

}  // namespace

Timing runTimed(const char *const argv[], const std::string &cwd, rlim_t maxFiles) {
    fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        fail("fork");
    }
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        const rlimit limit = {maxFiles, maxFiles};
        if (chdir(cwd.c_str()) != 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0 ||
            (maxFiles && setrlimit(RLIMIT_NOFILE, &limit) != 0)) {
            _exit(127);
        }
        execv(argv[0], const_cast<char *const *>(argv));
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench: %s did not exit 0\n", argv[0]);
        exit(1);
    }
    return {std::chrono::duration<double>(end - start).count(), cpuSeconds(usage), usage.ru_maxrss};
}

void registerResetBenchmarks() {
    const int runs = resetRuns();
    for (auto bench :
         {std::make_pair("BM_FactoryReset", &BM_FactoryReset), std::make_pair("BM_RmRf", &BM_RmRf),
          std::make_pair("BM_FactoryResetChain", &BM_FactoryResetChain),
          std::make_pair("BM_RmRfChain", &BM_RmRfChain),
          std::make_pair("BM_FactoryResetChain16", &BM_FactoryResetChain16),
          std::make_pair("BM_RmRfChain16", &BM_RmRfChain16),
          std::make_pair("BM_FactoryResetFlat", &BM_FactoryResetFlat),
          std::make_pair("BM_RmRfFlat", &BM_RmRfFlat)}) {
        benchmark::RegisterBenchmark(bench.first, bench.second)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(runs)
            ->ComputeStatistics("min", fastest)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace velquar_bench
