// "deviceId" from the MAC address and "hdcpFullVersion" from the snapshot.
#include <gtest/gtest.h>

#include <string>

#include "sim_device.h"

using namespace velquar_test;

TEST(Identifier, DeviceIdIsTheMacInLowercaseHex) {
    struct Case {
        const char *mac;
        const char *id;
    };
    const Case cases[] = {
        {"00:1a:2b:3c:4d:5e", "001a2b3c4d5e"},
        {"00:00:00:00:00:00", "000000000000"},
        {"FF:FF:FF:FF:FF:FF", "ffffffffffff"},
        {"01:02:a0:0b:10:09", "0102a00b1009"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Case &k : cases) {
        device.setState(std::string("mac = ") + k.mac + "\n");
        device.clearLog();
        Read<std::string> r;
        EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), "deviceId"); }), "");
        EXPECT_EQ(r.rc, PROPERTY_OK) << k.mac;
        EXPECT_EQ(r.value, k.id);
        const auto calls = device.calls("AppIpcApi_GetEthMacAddress");
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].rfind("AppIpcApi_GetEthMacAddress length=6 -> ret=0", 0), 0u);
    }
}

TEST(Identifier, DeviceIdFailsWhenTheMacIsUnavailable) {
    SimDevice device("mac.result = 7\nmac = 01:02:03:04:05:06\n");
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    Read<std::string> r;
    EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), "deviceId"); }),
              "AppIpcApi_GetEthMacAddress() failed err:7\n");
    EXPECT_EQ(r.rc, PROPERTY_UNAVAILABLE);
    EXPECT_TRUE(r.untouched);
}

TEST(Identifier, HdcpFullVersionIsMajorPointMinor) {
    struct Case {
        const char *number;
        int rc;
        const char *text;
    };
    const Case cases[] = {
        {"22", PROPERTY_OK, "2.2"}, {"14", PROPERTY_OK, "1.4"},   {"10", PROPERTY_OK, "1.0"},
        {"5", PROPERTY_OK, "0.5"},  {"123", PROPERTY_OK, "12.3"}, {"0", PROPERTY_UNAVAILABLE, ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.number);
        // The version number is taken once, when the context is created.
        SimDevice device(std::string("hdcp_version = ") + k.number + "\n");
        Context ctx;
        ASSERT_EQ(ctx.rc(), PROPERTY_OK);
        device.setState("hdcp_version = 33\n");
        Read<std::string> r;
        EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), "hdcpFullVersion"); }), "");
        EXPECT_EQ(r.rc, k.rc);
        if (k.rc == PROPERTY_OK) {
            EXPECT_EQ(r.value, k.text);
        } else {
            EXPECT_TRUE(r.untouched);
            EXPECT_FALSE(readBool(ctx.get(), "supportsHDCP").value);
        }
    }
}
