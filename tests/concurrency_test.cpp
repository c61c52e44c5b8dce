// Reads from many threads at once: on one live context, and as the first
// read of a configuration-backed property in a process. Labelled
// "concurrency" so that scripts/tsan.sh runs them under ThreadSanitizer.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app_ipc.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

const int kThreads = 8;

// Starts fn(n) on kThreads threads that all wait until every one is running.
template <typename Fn>
void runAtOnce(Fn fn) {
    std::atomic<int> waiting{kThreads};
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n) {
        threads.emplace_back([&, n] {
            --waiting;
            while (waiting.load() > 0) {
                std::this_thread::yield();
            }
            fn(n);
        });
    }
    for (std::thread &t : threads) {
        t.join();
    }
}

// One read of every property: code and value as text, one line each.
std::string readAll(DevicePropertiesProviderContext *ctx) {
    std::ostringstream all;
    for (const Property &p : catalogue()) {
        all << p.name << ' ';
        switch (p.type) {
            case Type::Bool: {
                const Read<bool> r = readBool(ctx, p.name);
                all << r.rc << ' ' << (r.rc == PROPERTY_OK ? r.value : r.untouched);
                break;
            }
            case Type::Int32: {
                const Read<int> r = readInt32(ctx, p.name);
                all << r.rc << ' ' << (r.rc == PROPERTY_OK ? r.value : r.untouched);
                break;
            }
            case Type::Int64: {
                const Read<long long> r = readInt64(ctx, p.name);
                // The free memory changes from one read to the next.
                const bool varies = std::string(p.name) == "availableMemory";
                all << r.rc << ' ' << (r.rc != PROPERTY_OK ? r.untouched : varies ? 0 : r.value);
                break;
            }
            case Type::String: {
                const Read<std::string> r = readString(ctx, p.name);
                all << r.rc << ' ' << (r.rc == PROPERTY_OK ? r.value : std::string("-"));
                break;
            }
        }
        all << '\n';
    }
    return all.str();
}

std::vector<std::string> sortedLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

// Every thread reads all 49 properties of the one context several times and
// gets what a single thread got; what the library prints is the single
// thread's output once per round, line for line.
TEST(Concurrency, ManyThreadsReadEveryPropertyOfOneContext) {
    const int rounds = 3;
    SimDevice device;
    setenv("CURL_CA_BUNDLE_PATH", "/etc/ssl/certs/ca-certificates.crt", 1);
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    // The first configuration-backed read builds the store and says so: once.
    captureStdout([&] { readAll(ctx.get()); });
    std::string reference;
    const std::string once = captureStdout([&] { reference = readAll(ctx.get()); });
    ASSERT_NE(reference.find("panelWidth 0 3840\n"), std::string::npos) << reference;
    ASSERT_NE(reference.find("fragmentCacheSize 0 65536\n"), std::string::npos) << reference;

    std::vector<std::vector<std::string>> got(kThreads);
    const std::string printed = captureStdout([&] {
        runAtOnce([&](int n) {
            for (int round = 0; round < rounds; ++round) {
                got[n].push_back(readAll(ctx.get()));
            }
        });
    });
    for (int n = 0; n < kThreads; ++n) {
        ASSERT_EQ(got[n].size(), static_cast<size_t>(rounds));
        for (const std::string &answers : got[n]) {
            EXPECT_EQ(answers, reference) << "thread " << n;
        }
    }
    std::string expected;
    for (int k = 0; k < kThreads * rounds; ++k) {
        expected += once;
    }
    EXPECT_EQ(sortedLines(printed), sortedLines(expected));
    unsetenv("CURL_CA_BUNDLE_PATH");
}

// The first configuration-backed read made by many threads at once: one
// store is built, so the service is asked once and the path line appears
// once, and every thread gets the value from that one file.
TEST(Concurrency, FirstConfigurationReadFromManyThreadsAtOnce) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    std::vector<Read<int>> reads(kThreads);
    const std::string out = captureStdout(
        [&] { runAtOnce([&](int n) { reads[n] = readInt32(ctx.get(), "fragmentCacheSize"); }); });
    for (int n = 0; n < kThreads; ++n) {
        EXPECT_EQ(reads[n].rc, PROPERTY_OK) << "thread " << n;
        EXPECT_EQ(reads[n].value, 65536) << "thread " << n;
    }
    EXPECT_EQ(device.calls("AppIpcApi_GetAPPConfigFilePath ").size(), 1u);
    char path[APPIPC_CONFIG_PATH_SIZE] = {};
    ASSERT_EQ(AppIpcApi_GetAPPConfigFilePath(5, path), 0);
    EXPECT_EQ(out, "Orvane Palomir config path: " + std::string(path) + "\n");
}
