// Heap of one live context on the simulated television. This program
// counts every allocation of the process, the library's and the stand-ins'
// included: its malloc family forwards to glibc's and keeps the bytes in
// use (malloc_usable_size, so allocator rounding counts) and their peak.
// glibc's own statistics (mallinfo2) serve as a cross-check. One create and
// release run first, so that what the process allocates once (standard I/O
// buffers, the stand-ins' state) is not taken for the context's.
#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "velquar_platform.h"

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};

void *counted(void *pointer) {
    if (pointer) {
        const long long now = g_inUse += static_cast<long long>(malloc_usable_size(pointer));
        long long peak = g_peak.load();
        while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
        }
    }
    return pointer;
}

void uncount(void *pointer) {
    if (pointer) {
        g_inUse -= static_cast<long long>(malloc_usable_size(pointer));
    }
}

}  // namespace

extern "C" {

void *malloc(size_t size) noexcept {
    return counted(__libc_malloc(size));
}

void *calloc(size_t count, size_t size) noexcept {
    return counted(__libc_calloc(count, size));
}

void *realloc(void *pointer, size_t size) noexcept {
    uncount(pointer);
    void *moved = __libc_realloc(pointer, size);
    if (!moved && size != 0) {
        counted(pointer);  // the old block is still there
        return nullptr;
    }
    return counted(moved);
}

void free(void *pointer) noexcept {
    uncount(pointer);
    __libc_free(pointer);
}

void *memalign(size_t alignment, size_t size) noexcept {
    return counted(__libc_memalign(alignment, size));
}

void *aligned_alloc(size_t alignment, size_t size) noexcept {
    return counted(__libc_memalign(alignment, size));
}

int posix_memalign(void **out, size_t alignment, size_t size) noexcept {
    void *pointer = __libc_memalign(alignment, size);
    if (!pointer) {
        return ENOMEM;
    }
    *out = counted(pointer);
    return 0;
}

}  // extern "C"

namespace {

size_t glibcInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

DevicePropertiesProviderContext *create() {
    DevicePropertiesProviderContext *context = nullptr;
    if (CreateDevicePropertiesProviderContext(&context) != PROPERTY_OK) {
        fprintf(stderr, "context_heap: no context\n");
        exit(1);
    }
    return context;
}

}  // namespace

int main() {
    ReleaseDevicePropertiesProviderContext(create());

    const long long before = g_inUse.load();
    const size_t glibcBefore = glibcInUse();
    g_peak = before;
    DevicePropertiesProviderContext *context = create();
    const long long live = g_inUse.load() - before;
    const long long glibcLive =
        static_cast<long long>(glibcInUse()) - static_cast<long long>(glibcBefore);
    ReleaseDevicePropertiesProviderContext(context);
    const long long peak = g_peak.load() - before;
    const long long left = g_inUse.load() - before;

    printf("context_live_heap_bytes %lld\n", live);
    printf("context_peak_heap_bytes %lld\n", peak);
    printf("context_live_heap_bytes_mallinfo2 %lld\n", glibcLive);
    printf("heap_left_after_release_bytes %lld\n", left);
    return 0;
}
