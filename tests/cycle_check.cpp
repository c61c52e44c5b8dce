// 100 cycles of create, read every property through the function of its
// type, release. Prints the heap in use (mallinfo2) and the resident set
// (VmRSS) after cycles 1, 10, 50 and 100, and fails when the heap in use
// after a later cycle exceeds that after the first (which includes the
// process-wide configuration store), or when a cycle's result codes differ
// from the first cycle's. scripts/valgrind.sh runs it under memcheck.
//
// The library's own lines go to /dev/null; the figures go to the original
// standard output. Under AddressSanitizer the heap figure is 0 (its
// allocator is not glibc's); LeakSanitizer checks for leaks at exit instead.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sim_device.h"

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define VELQUAR_HAVE_MEMCHECK_H 1
#else
#define VELQUAR_HAVE_MEMCHECK_H 0
#endif

using namespace velquar_test;

namespace {

const int kCycles = 100;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, 6, "VmRSS:") == 0) {
            return strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// Bytes in use on the heap. Under valgrind, memcheck's own count (glibc's
// arena is then unused, and valgrind's mallinfo counts its arena's blocks,
// freed ones it still holds back included).
size_t heapInUse() {
#if VELQUAR_HAVE_MEMCHECK_H
    if (RUNNING_ON_VALGRIND) {
        unsigned long leaked = 0, dubious = 0, reachable = 0, suppressed = 0;
        VALGRIND_DO_QUICK_LEAK_CHECK;
        VALGRIND_COUNT_LEAKS(leaked, dubious, reachable, suppressed);
        return leaked + dubious + reachable + suppressed;
    }
#endif
    return mallinfo2().uordblks;
}

// One cycle; the result code of every read, in catalogue order.
std::vector<int> cycle(bool &created) {
    std::vector<int> codes;
    DevicePropertiesProviderContext *ctx = nullptr;
    created = CreateDevicePropertiesProviderContext(&ctx) == PROPERTY_OK;
    if (!created) {
        return codes;
    }
    for (const Property &p : catalogue()) {
        codes.push_back(readAs(p.type, ctx, p.name).rc);
    }
    created = ReleaseDevicePropertiesProviderContext(ctx) == PROPERTY_OK;
    return codes;
}

}  // namespace

int main() {
    FILE *figures = fdopen(dup(STDOUT_FILENO), "w");
    const int devNull = open("/dev/null", O_WRONLY);
    if (!figures || devNull < 0) {
        perror("cycle_check");
        return 1;
    }
    // A buffer of its own, so that printing the figures takes no heap.
    static char figuresBuffer[BUFSIZ];
    setvbuf(figures, figuresBuffer, _IOLBF, sizeof figuresBuffer);
    fflush(stdout);
    dup2(devNull, STDOUT_FILENO);
    close(devNull);

    // The CA properties answer too; supportsOLED fails where there is no
    // /config/sys.ini, which exercises its failure path instead.
    setenv("CURL_CA_BUNDLE_PATH", "/etc/ssl/certs/ca-certificates.crt", 0);
    std::vector<int> first;
    size_t firstHeap = 0;
    bool ok = true;
    int cycles = 0;
    for (int n = 1; n <= kCycles && ok; ++n) {
        cycles = n;
        bool created = false;
        const std::vector<int> codes = cycle(created);
        fflush(stdout);
        if (!created) {
            fprintf(figures, "cycle %d: creation or release failed\n", n);
            ok = false;
            break;
        }
        if (n == 1) {
            first = codes;
        } else if (codes != first) {
            fprintf(figures, "cycle %d: result codes differ from the first cycle's\n", n);
            ok = false;
        }
        if (n == 1 || n == 10 || n == 50 || n == kCycles) {
            const size_t heap = heapInUse();
            firstHeap = n == 1 ? heap : firstHeap;
            fprintf(figures, "after cycle %3d: heap in use %zu bytes, VmRSS %ld kB\n", n, heap,
                    residentKiB());
            if (heap > firstHeap) {
                fprintf(figures, "cycle %d: the heap in use grew by %zu bytes since cycle 1\n", n,
                        heap - firstHeap);
                ok = false;
            }
        }
    }
    size_t answered = 0;
    for (int rc : first) {
        answered += rc == PROPERTY_OK;
    }
    fprintf(figures, "%s: %d cycles, %zu of %zu properties answered in each\n",
            ok ? "flat" : "FAILED", cycles, answered, first.size());
    fclose(figures);
    return ok ? 0 : 1;
}
