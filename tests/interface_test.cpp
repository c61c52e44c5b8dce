// The C boundary: null pointers and the string buffer protocol.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sim_device.h"

using namespace velquar_test;

TEST(Interface, CreateWithNullOutFailsBeforeTouchingThePlatform) {
    SimDevice device;
    int rc = 0;
    std::string out = captureStdout([&] { rc = CreateDevicePropertiesProviderContext(nullptr); });
    EXPECT_EQ(rc, PROPERTY_INVALID_ARGUMENT);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(device.log().empty());
}

TEST(Interface, ReleaseOfNullContextIsInvalidArgument) {
    EXPECT_EQ(ReleaseDevicePropertiesProviderContext(nullptr), PROPERTY_INVALID_ARGUMENT);
}

// Null checks come before the name is looked up, so an unknown or mistyped
// name behind a null pointer still gives PROPERTY_INVALID_ARGUMENT, and no
// getter (WiFiNetworkConnection would call the platform) is reached.
TEST(Interface, NullPointersAreInvalidArgumentsForEveryRead) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    DevicePropertiesProviderContext *c = ctx.get();
    bool b = false;
    int i = 0;
    long long ll = 0;
    char buffer[16] = "";
    int size = sizeof buffer;
    struct Case {
        const char *label;
        std::function<int()> read;
    };
    const std::vector<Case> cases = {
        {"bool, null context", [&] { return GetBoolProperty(nullptr, "supportsUHD", &b); }},
        {"bool, null name", [&] { return GetBoolProperty(c, nullptr, &b); }},
        {"bool, null value", [&] { return GetBoolProperty(c, "supportsUHD", nullptr); }},
        {"bool, null value, platform getter",
         [&] { return GetBoolProperty(c, "WiFiNetworkConnection", nullptr); }},
        {"bool, null value, unknown name", [&] { return GetBoolProperty(c, "nope", nullptr); }},
        {"bool, null value, other type", [&] { return GetBoolProperty(c, "panelWidth", nullptr); }},
        {"int32, null context", [&] { return GetInt32Property(nullptr, "panelWidth", &i); }},
        {"int32, null name", [&] { return GetInt32Property(c, nullptr, &i); }},
        {"int32, null value", [&] { return GetInt32Property(c, "panelWidth", nullptr); }},
        {"int64, null context", [&] { return GetInt64Property(nullptr, "totalMemory", &ll); }},
        {"int64, null name", [&] { return GetInt64Property(c, nullptr, &ll); }},
        {"int64, null value", [&] { return GetInt64Property(c, "totalMemory", nullptr); }},
        {"string, null context",
         [&] { return GetStringProperty(nullptr, "hdcpFullVersion", buffer, &size); }},
        {"string, null name", [&] { return GetStringProperty(c, nullptr, buffer, &size); }},
        {"string, null size",
         [&] { return GetStringProperty(c, "hdcpFullVersion", buffer, nullptr); }},
        {"string, null size, other type",
         [&] { return GetStringProperty(c, "supportsUHD", buffer, nullptr); }},
        {"string, null size, unknown name",
         [&] { return GetStringProperty(c, "nope", buffer, nullptr); }},
    };
    device.clearLog();
    std::vector<int> results;
    std::string out = captureStdout([&] {
        for (const Case &k : cases) {
            results.push_back(k.read());
        }
    });
    for (size_t n = 0; n < cases.size(); ++n) {
        EXPECT_EQ(results[n], PROPERTY_INVALID_ARGUMENT) << cases[n].label;
    }
    EXPECT_EQ(size, static_cast<int>(sizeof buffer));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(device.log().empty());
}

// A string getter that fails leaves *size and the buffer as the caller
// passed them, whatever the capacity; its code wins over the size check.
TEST(Interface, FailingStringGetterLeavesSizeAndBufferAlone) {
    struct Case {
        const char *state;
        const char *name;
    };
    for (const Case &k :
         {Case{"hdcp_version = 0\n", "hdcpFullVersion"}, Case{"mac.result = -1\n", "deviceId"}}) {
        SimDevice device(k.state);
        Context ctx;
        ASSERT_EQ(ctx.rc(), PROPERTY_OK);
        for (int capacity : {64, 4, 1, 0, -1, INT_MIN}) {
            SCOPED_TRACE(std::string(k.name) + " capacity " + std::to_string(capacity));
            Read<std::string> r = readString(ctx.get(), k.name, capacity);
            EXPECT_EQ(r.rc, PROPERTY_UNAVAILABLE);
            EXPECT_TRUE(r.untouched);
        }
        int size = 0;
        EXPECT_EQ(GetStringProperty(ctx.get(), k.name, nullptr, &size), PROPERTY_UNAVAILABLE);
        EXPECT_EQ(size, 0);
    }
}

// The success paths need a string property that answers: hdcpFullVersion
// gives "2.2" on the default device (HDCP version number 22).
TEST(Interface, StringBufferProtocol) {
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    // The protocol's cases below need a string that answers; a failure here
    // must fail the test, not let it pass without running them.
    int probe = 0;
    ASSERT_EQ(GetStringProperty(ctx.get(), "hdcpFullVersion", nullptr, &probe),
              PROPERTY_BUFFER_TOO_SMALL)
        << "hdcpFullVersion must answer on the default television";
    ASSERT_EQ(probe, 4);
    const std::string filled(16, '#');
    const std::string written = std::string("2.2", 4) + filled.substr(4);
    struct Case {
        int capacity;
        bool nullBuffer;
        int rc;
        const std::string &buffer;  // contents afterwards
    };
    const Case cases[] = {
        {0, true, PROPERTY_BUFFER_TOO_SMALL, filled},   // size first, then allocate
        {0, false, PROPERTY_BUFFER_TOO_SMALL, filled},  // no room at all
        {3, false, PROPERTY_BUFFER_TOO_SMALL, filled},  // room for the text, not its NUL
        {-1, false, PROPERTY_BUFFER_TOO_SMALL, filled},
        {INT_MIN, false, PROPERTY_BUFFER_TOO_SMALL, filled},
        {4, false, PROPERTY_OK, written},              // exactly enough
        {16, false, PROPERTY_OK, written},             // only the needed bytes are written
        {4, true, PROPERTY_INVALID_ARGUMENT, filled},  // fits, but nowhere to copy to
    };
    for (const Case &k : cases) {
        SCOPED_TRACE("capacity " + std::to_string(k.capacity) + (k.nullBuffer ? ", null" : ""));
        std::string buffer = filled;
        int size = k.capacity;
        EXPECT_EQ(GetStringProperty(ctx.get(), "hdcpFullVersion",
                                    k.nullBuffer ? nullptr : &buffer[0], &size),
                  k.rc);
        EXPECT_EQ(size, 4);
        EXPECT_EQ(buffer, k.buffer);
    }
}
