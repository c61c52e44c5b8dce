// The four exported reads with arbitrary names, capacities and buffers, on
// one context of the simulated television, checked against the interface's
// promises: a result is always one of its codes, a failed read leaves the
// caller's variables alone, and a string read reports the size it needs and
// writes exactly that many bytes, NUL included, only when they fit.
//
// Input: byte 0 picks the read (bits 0-1: string, bool, int32, int64) and
// which pointers are null (bit 2: name, bit 3: size or value, bit 4: the
// string buffer); bytes 1-4 are the capacity (any int); the rest is the
// name, up to its first NUL.
#include <iniparser.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "velquar_platform.h"

namespace {

enum Read { kString, kBool, kInt32, kInt64 };
const uint8_t kNullName = 1 << 2;
const uint8_t kNullValue = 1 << 3;
const uint8_t kNullBuffer = 1 << 4;
const unsigned char kPattern = 0xA5;
const size_t kPatternBytes = 8192;  // beyond every value's length
const int kIntSentinel = 0x5A5A5A5A;
const long long kInt64Sentinel = 0x5A5A5A5A5A5A5A5ALL;

DevicePropertiesProviderContext *g_context = nullptr;

// String buffers end where a page that may not be touched begins, so a
// buffer of any capacity is exactly that large: a write past its end faults,
// in any build. The pages are only reserved, and handed back after use.
char *g_arenaEnd = nullptr;
size_t g_arenaSize = 0;
size_t g_pageSize = 0;

void reserveArena() {
    g_pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    // Room for INT_MAX bytes where the address space allows it; a smaller
    // arena (32-bit systems) caps the capacities tried.
    for (size_t size = size_t{1} << 31; size >= (size_t{1} << 20); size /= 2) {
        void *base = mmap(nullptr, size + g_pageSize, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base != MAP_FAILED) {
            g_arenaSize = size;
            g_arenaEnd = static_cast<char *>(base) + size;
            FUZZ_CHECK(mprotect(g_arenaEnd, g_pageSize, PROT_NONE) == 0);
            return;
        }
    }
    FUZZ_CHECK(!"no address space for the string buffers");
}

void releaseContext() {
    ReleaseDevicePropertiesProviderContext(g_context);
}

int silent(const char *, ...) {
    return 0;
}

bool isResultCode(int rc, const std::string &name) {
    switch (rc) {
        case PROPERTY_OK:
        case PROPERTY_NOT_FOUND:
        case PROPERTY_TYPE_MISMATCH:
        case PROPERTY_INVALID_ARGUMENT:
        case PROPERTY_BUFFER_TOO_SMALL:
        case PROPERTY_UNAVAILABLE:
            return true;
        default:
            return rc == 1 && name == "deviceLanguage";  // its getter's failure code
    }
}

// The shell-backed properties start a shell on every read, which would slow
// the fuzzer to a crawl: they run on their first read and then on every
// 256th.
bool skipShellRead(const char *name) {
    static unsigned count = 0;
    for (const char *shell : {"osName", "osVersion", "totalMemory", "availableMemory"}) {
        if (name && strcmp(name, shell) == 0) {
            return count++ % 256 != 0;
        }
    }
    return false;
}

int checkString(const char *name, uint8_t flags, int capacity) {
    // A capacity is the true size of the buffer given, or the buffer is null.
    char *buffer = nullptr;
    size_t pattern = 0;
    if (!(flags & kNullBuffer) && capacity >= 0) {
        capacity = static_cast<int>(std::min(static_cast<size_t>(capacity), g_arenaSize));
        buffer = g_arenaEnd - capacity;
        pattern = std::min(static_cast<size_t>(capacity), kPatternBytes);
        memset(buffer, kPattern, pattern);
    }
    int size = capacity;
    const int rc =
        GetStringProperty(g_context, name, buffer, (flags & kNullValue) ? nullptr : &size);
    FUZZ_CHECK(isResultCode(rc, name ? name : ""));

    size_t written = 0;
    if (rc == PROPERTY_OK) {
        // The value, its NUL and zeros after a NUL inside it: size bytes.
        FUZZ_CHECK(buffer && size >= 1 && size <= capacity);
        written = static_cast<size_t>(size);
        const size_t length = strnlen(buffer, written);
        FUZZ_CHECK(length < written);
        for (size_t i = length; i < written; ++i) {
            FUZZ_CHECK(buffer[i] == '\0');
        }
    } else if (rc == PROPERTY_BUFFER_TOO_SMALL) {
        FUZZ_CHECK(size >= 1 && size > capacity);
    } else if (rc == PROPERTY_INVALID_ARGUMENT && name && !(flags & kNullValue)) {
        // The value fits, but there is no buffer to take it.
        FUZZ_CHECK(!buffer && size >= 1 && size <= capacity);
    } else {
        FUZZ_CHECK(size == capacity);
    }
    for (size_t i = written; i < pattern; ++i) {
        FUZZ_CHECK(static_cast<unsigned char>(buffer[i]) == kPattern);
    }
    const size_t used = std::max(written, pattern);
    if (used > 0) {
        const uintptr_t page = g_pageSize;
        char *first = reinterpret_cast<char *>(reinterpret_cast<uintptr_t>(buffer) / page * page);
        const size_t touched = static_cast<size_t>(buffer + used - first);
        madvise(first, (touched + page - 1) / page * page, MADV_DONTNEED);
    }
    return rc;
}

template <typename T>
int checkScalar(int (*read)(DevicePropertiesProviderContext *, const char *, T *), const char *name,
                uint8_t flags, T sentinel) {
    T value = sentinel;
    const int rc = read(g_context, name, (flags & kNullValue) ? nullptr : &value);
    FUZZ_CHECK(isResultCode(rc, name ? name : ""));
    if (rc != PROPERTY_OK) {
        FUZZ_CHECK(memcmp(&value, &sentinel, sizeof value) == 0);
    }
    return rc;
}

// A bool read writes one byte, 0 or 1, and only on success.
int checkBool(const char *name, uint8_t flags) {
    const unsigned char sentinel = 0x5A;
    bool value;
    memcpy(&value, &sentinel, 1);
    const int rc = GetBoolProperty(g_context, name, (flags & kNullValue) ? nullptr : &value);
    FUZZ_CHECK(isResultCode(rc, name ? name : ""));
    unsigned char byte;
    memcpy(&byte, &value, 1);
    FUZZ_CHECK(rc == PROPERTY_OK ? byte <= 1 : byte == sentinel);
    return rc;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The default simulated television, and no call log to slow it down.
    unsetenv("VELQUAR_SIM_STATE");
    unsetenv("VELQUAR_SIM_LOG");
    setenv("CURL_CA_BUNDLE_PATH", "/etc/ssl/certs/ca-certificates.crt", 1);
    // iniparser reports the missing /config/sys.ini on standard error on
    // every supportsOLED read.
    iniparser_set_error_callback(silent);
    reserveArena();
    FUZZ_CHECK(CreateDevicePropertiesProviderContext(&g_context) == PROPERTY_OK);
    atexit(releaseContext);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t header[5] = {};
    memcpy(header, data, std::min(size, sizeof header));
    const uint8_t flags = header[0];
    int capacity;
    memcpy(&capacity, header + 1, sizeof capacity);

    // The name, NUL-terminated, in a block of exactly its size.
    const char *bytes = reinterpret_cast<const char *>(data) + std::min(size, sizeof header);
    const size_t length = strnlen(bytes, size - std::min(size, sizeof header));
    std::unique_ptr<char[]> copy(new char[length + 1]);
    memcpy(copy.get(), bytes, length);
    copy[length] = '\0';
    const char *name = (flags & kNullName) ? nullptr : copy.get();
    if (skipShellRead(name)) {
        return 0;
    }

    int rc = PROPERTY_OK;
    switch (flags & 3) {
        case kString:
            rc = checkString(name, flags, capacity);
            break;
        case kBool:
            rc = checkBool(name, flags);
            break;
        case kInt32:
            rc = checkScalar(GetInt32Property, name, flags, kIntSentinel);
            break;
        case kInt64:
            rc = checkScalar(GetInt64Property, name, flags, kInt64Sentinel);
            break;
    }

    // A name that is not there is not there for any read (no getter runs).
    if (rc == PROPERTY_NOT_FOUND) {
        FUZZ_CHECK(name != nullptr);
        bool b;
        int i;
        long long ll;
        int capacityZero = 0;
        FUZZ_CHECK(GetStringProperty(g_context, name, nullptr, &capacityZero) == rc);
        FUZZ_CHECK(GetBoolProperty(g_context, name, &b) == rc);
        FUZZ_CHECK(GetInt32Property(g_context, name, &i) == rc);
        FUZZ_CHECK(GetInt64Property(g_context, name, &ll) == rc);
    }
    return 0;
}
