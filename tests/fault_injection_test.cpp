// Memory exhaustion while a context is created. This program replaces the
// global operator new and delete (every form) for the whole process, the
// library and the stand-ins included: they count live allocations and, once
// armed, make exactly the Nth allocation fail (std::bad_alloc, or null from
// the non-throwing forms). Creation is run once for every N that it reaches.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "sim_device.h"

using namespace velquar_test;

namespace {

std::atomic<long> g_live{0};        // allocations not yet freed
std::atomic<long> g_counted{0};     // allocations since arming
std::atomic<long> g_failAt{0};      // 0: disarmed; else the one that fails
std::atomic<bool> g_failed{false};  // the armed failure happened

void *allocate(size_t size, bool nothrow) {
    void *p = nullptr;
    if (g_failAt.load() != 0 && ++g_counted == g_failAt.load()) {
        g_failed = true;
    } else if ((p = malloc(size ? size : 1)) != nullptr) {
        ++g_live;
        return p;
    }
    if (nothrow) {
        return nullptr;
    }
    throw std::bad_alloc();
}

void release(void *p) {
    if (p) {
        --g_live;
        free(p);
    }
}

// Counts (failAt 0) or fails the failAt-th allocation of one creation.
struct Arm {
    explicit Arm(long failAt) {
        g_counted = 0;
        g_failed = false;
        g_failAt = failAt == 0 ? -1 : failAt;
    }
    ~Arm() { g_failAt = 0; }
};

const DevicePropertiesProviderContext *const kUnwritten =
    reinterpret_cast<DevicePropertiesProviderContext *>(0x5a5a5a5a);

}  // namespace

void *operator new(size_t size) {
    return allocate(size, false);
}
void *operator new[](size_t size) {
    return allocate(size, false);
}
void *operator new(size_t size, const std::nothrow_t &) noexcept {
    return allocate(size, true);
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept {
    return allocate(size, true);
}
void operator delete(void *p) noexcept {
    release(p);
}
void operator delete[](void *p) noexcept {
    release(p);
}
void operator delete(void *p, size_t) noexcept {
    release(p);
}
void operator delete[](void *p, size_t) noexcept {
    release(p);
}
void operator delete(void *p, const std::nothrow_t &) noexcept {
    release(p);
}
void operator delete[](void *p, const std::nothrow_t &) noexcept {
    release(p);
}

// For every allocation N that a creation makes, failing it either gives
// PROPERTY_UNAVAILABLE with the context unwritten, or (where the library
// manages without that allocation) a context that answers; no exception
// reaches the caller and nothing leaks.
TEST(FaultInjection, EveryAllocationOfACreationMayFail) {
    unsetenv("VELQUAR_SIM_STATE");  // the default television, without call log
    unsetenv("VELQUAR_SIM_LOG");
    DevicePropertiesProviderContext *ctx = nullptr;
    // The stand-ins' own first-call setup is not part of a creation.
    ASSERT_EQ(CreateDevicePropertiesProviderContext(&ctx), PROPERTY_OK);
    ASSERT_EQ(ReleaseDevicePropertiesProviderContext(ctx), PROPERTY_OK);

    long allocations = 0;
    {
        const long before = g_live;
        Arm counting(0);
        ASSERT_EQ(CreateDevicePropertiesProviderContext(&ctx), PROPERTY_OK);
        allocations = g_counted;
        g_failAt = 0;
        ASSERT_EQ(ReleaseDevicePropertiesProviderContext(ctx), PROPERTY_OK);
        ASSERT_EQ(g_live, before);
    }
    // The adapter (its snapshot inside it) and the 49 catalogue entries.
    ASSERT_GE(allocations, 50);

    int unavailable = 0, tolerated = 0;
    for (long n = 1; n <= allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations));
        ctx = const_cast<DevicePropertiesProviderContext *>(kUnwritten);
        int rc = 0;
        bool escaped = false;
        long before = 0, after = 0;
        const std::string out = captureStdout([&] {
            before = g_live;
            Arm arm(n);
            try {
                rc = CreateDevicePropertiesProviderContext(&ctx);
            } catch (...) {
                escaped = true;
            }
            after = g_live;
        });
        ASSERT_FALSE(escaped) << "an exception left CreateDevicePropertiesProviderContext";
        EXPECT_TRUE(g_failed) << "the creation made fewer allocations than counted";
        if (rc != PROPERTY_OK) {
            ++unavailable;
            EXPECT_EQ(rc, PROPERTY_UNAVAILABLE);
            EXPECT_EQ(ctx, kUnwritten);
            EXPECT_EQ(out, "");
            EXPECT_EQ(after, before) << "allocations left behind";
            continue;
        }
        ++tolerated;
        ASSERT_NE(ctx, kUnwritten);
        ASSERT_NE(ctx, nullptr);
        EXPECT_EQ(readInt32(ctx, "panelWidth").value, 3840);
        EXPECT_EQ(readInt32(ctx, "hdcpMajorVersion").value, 2);
        EXPECT_TRUE(readBool(ctx, "supportsHDR").value);
        // Only the media-player client is allocated without throwing; without
        // it the decoder option is absent, and the creation says so.
        if (out == "Create Tevrin_MM_PlayerInterface failed\n") {
            EXPECT_EQ(readBool(ctx, "supportsHEVC10Bits").rc, PROPERTY_UNAVAILABLE);
        } else {
            EXPECT_EQ(out, "");
            EXPECT_EQ(readBool(ctx, "supportsHEVC10Bits").rc, PROPERTY_OK);
        }
        // Release frees exactly what the creation kept.
        const long kept = after - before, live = g_live;
        EXPECT_EQ(ReleaseDevicePropertiesProviderContext(ctx), PROPERTY_OK);
        EXPECT_EQ(g_live, live - kept) << "allocations left behind";
    }
    EXPECT_EQ(unavailable + tolerated, allocations);
    EXPECT_GT(unavailable, 0);
    printf("%ld allocations per creation: %d gave PROPERTY_UNAVAILABLE, %d a working context\n",
           allocations, unavailable, tolerated);

    // Afterwards a creation is whole again.
    Context again;
    ASSERT_EQ(again.rc(), PROPERTY_OK);
    EXPECT_EQ(readBool(again.get(), "supportsHEVC10Bits").rc, PROPERTY_OK);
    EXPECT_EQ(readInt32(again.get(), "panelHeight").value, 2160);
}

// An allocation that fails during the configuration's one load fails only
// that read: the next read loads it again, however far the failed one got.
TEST(FaultInjection, ConfigurationLoadThatFailsIsDoneAgain) {
    unsetenv("VELQUAR_SIM_STATE");
    unsetenv("VELQUAR_SIM_LOG");
    Context context;
    ASSERT_EQ(context.rc(), PROPERTY_OK);
    int failedReads = 0;
    for (long n = 1;; ++n) {
        Arm arm(n);
        const auto read = readInt32(context.get(), "fragmentCacheSize");
        if (!g_failed) {
            EXPECT_EQ(read.rc, PROPERTY_OK);
            EXPECT_EQ(read.value, 65536);
            break;
        }
        failedReads += read.rc != PROPERTY_OK;
    }
    EXPECT_GT(failedReads, 0);
}
