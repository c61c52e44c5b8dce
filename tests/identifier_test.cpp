// "deviceId" from the MAC address and "hdcpFullVersion" from the snapshot.
#include <gtest/gtest.h>

#include <string>

#include "sim_device.h"

using namespace velquar_test;

TEST(Identifier, DeviceIdIsTheMacInLowercaseHex) {
    struct Case {
        const char *state;
        const char *id;  // nullptr: the read fails
        const char *printed;
    };
    const Case cases[] = {
        {"mac = 00:1a:2b:3c:4d:5e", "001a2b3c4d5e", ""},
        {"mac = 00:00:00:00:00:00", "000000000000", ""},
        {"mac = FF:FF:FF:FF:FF:FF", "ffffffffffff", ""},
        {"mac.result = 7\nmac = 01:02:03:04:05:06", nullptr,
         "AppIpcApi_GetEthMacAddress() failed err:7\n"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.state);
        device.setState(std::string(k.state) + "\n");
        device.clearLog();
        Read<std::string> r;
        EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), "deviceId"); }), k.printed);
        EXPECT_EQ(r.rc, k.id ? PROPERTY_OK : PROPERTY_UNAVAILABLE);
        EXPECT_EQ(r.untouched, !k.id);
        if (k.id) {
            EXPECT_EQ(r.value, k.id);
        }
        EXPECT_EQ(device.calls("AppIpcApi_GetEthMacAddress length=6 ").size(), 1u);
    }
}

TEST(Identifier, HdcpFullVersionIsMajorPointMinor) {
    struct Case {
        const char *number;
        const char *text;  // nullptr: the read fails
    };
    const Case cases[] = {
        {"22", "2.2"}, {"10", "1.0"}, {"5", "0.5"}, {"123", "12.3"}, {"0", nullptr}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.number);
        // The version number is taken once, when the context is created.
        SimDevice device(std::string("hdcp_version = ") + k.number + "\n");
        Context ctx;
        ASSERT_EQ(ctx.rc(), PROPERTY_OK);
        device.setState("hdcp_version = 33\n");
        Read<std::string> r;
        EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), "hdcpFullVersion"); }), "");
        EXPECT_EQ(r.rc, k.text ? PROPERTY_OK : PROPERTY_UNAVAILABLE);
        EXPECT_EQ(r.untouched, !k.text);
        if (k.text) {
            EXPECT_EQ(r.value, k.text);
        } else {
            EXPECT_FALSE(readBool(ctx.get(), "supportsHDCP").value);
        }
    }
}
