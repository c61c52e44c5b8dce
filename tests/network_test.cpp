// The proxy from the service and the CA bundle location from the
// environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <string>

#include "sim_device.h"

using namespace velquar_test;

namespace {

struct Proxy {
    Read<std::string> host;
    Read<int> port;
    Read<std::string> username;
    Read<std::string> password;
};

// Reads the four proxy properties, which must print nothing.
Proxy readProxy(DevicePropertiesProviderContext *ctx) {
    Proxy p;
    EXPECT_EQ(captureStdout([&] {
                  p.host = readString(ctx, "httpProxyHost");
                  p.port = readInt32(ctx, "httpProxyPort");
                  p.username = readString(ctx, "httpProxyUsername");
                  p.password = readString(ctx, "httpProxyPassword");
              }),
              "");
    return p;
}

std::string hexOf(const std::string &bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

}  // namespace

TEST(Network, ProxyTextIsSplitAtTheFirstColon) {
    struct Case {
        std::string state;
        std::string host;
        int port;
    };
    const std::string full(32, 'h');
    const std::string fullWithPort = std::string(26, 'p') + ":12345";
    const Case cases[] = {
        {"proxy = gateway:80", "gateway", 80},
        {"proxy = gateway:abc", "gateway", 0},
        {"proxy = :312", "", 312},
        {"proxy = gateway:", "gateway", 0},
        {"proxy = gateway", "gateway", 0},
        {"proxy = gateway:8080x", "gateway", 8080},
        {"proxy = fe80::1:8080", "fe80", 0},
        {"proxy = gateway:-3", "gateway", -3},
        // Beyond the int range the port saturates instead of wrapping.
        {"proxy = gateway:99999999999", "gateway", INT_MAX},
        {"proxy = gateway:-99999999999", "gateway", INT_MIN},
        {"", "", 0},
        // All 32 bytes without a NUL.
        {"proxy.hex = " + hexOf(full), full, 0},
        {"proxy.hex = " + hexOf(fullWithPort), std::string(26, 'p'), 12345},
        // A failing service means no proxy, whatever it wrote.
        {"proxy.result = 5\nproxy = gateway:80", "", 0},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.state);
        device.setState(k.state + "\n");
        device.clearLog();
        Proxy p = readProxy(ctx.get());
        EXPECT_EQ(p.host.rc, PROPERTY_OK);
        EXPECT_EQ(p.host.value, k.host);
        EXPECT_EQ(p.port.rc, PROPERTY_OK);
        EXPECT_EQ(p.port.value, k.port);
        // The platform knows no proxy credentials.
        EXPECT_EQ(p.username.rc, PROPERTY_OK);
        EXPECT_EQ(p.username.value, "");
        EXPECT_EQ(p.password.rc, PROPERTY_OK);
        EXPECT_EQ(p.password.value, "");
        // Each getter asks once, with a zeroed 32-byte buffer.
        const auto calls = device.calls("AppIpcApi_GetProxy");
        EXPECT_EQ(calls.size(), 4u);
        for (const std::string &call : calls) {
            EXPECT_EQ(call.rfind("AppIpcApi_GetProxy size=32 buffer=" + std::string(64, '0'), 0),
                      0u)
                << call;
        }
    }
}

TEST(Network, CABundlePathIsSplitAtTheLastSeparator) {
    struct Case {
        const char *path;
        const char *directory;
        const char *file;
    };
    const Case cases[] = {
        {"/etc/ssl/certs/ca.pem", "/etc/ssl/certs", "ca.pem"},
        {"certs\\ca.pem", "certs", "ca.pem"},
        {"C:\\ssl/certs\\ca.pem", "C:\\ssl/certs", "ca.pem"},
        {"/etc\\ssl/ca.pem", "/etc\\ssl", "ca.pem"},
        {"ca.pem", "ca.pem", "ca.pem"},
        {"", "", ""},
        {"/etc/ssl/", "/etc/ssl", ""},
        {"/ca.pem", "", "ca.pem"},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.path);
        setenv("CURL_CA_BUNDLE_PATH", k.path, 1);
        Read<std::string> directory;
        Read<std::string> file;
        EXPECT_EQ(captureStdout([&] {
                      directory = readString(ctx.get(), "CADirectoryPath");
                      file = readString(ctx.get(), "CABundleFileName");
                  }),
                  "");
        EXPECT_EQ(directory.rc, PROPERTY_OK);
        EXPECT_EQ(directory.value, k.directory);
        EXPECT_EQ(file.rc, PROPERTY_OK);
        EXPECT_EQ(file.value, k.file);
    }
    unsetenv("CURL_CA_BUNDLE_PATH");
}

TEST(Network, CABundlePathUnset) {
    unsetenv("CURL_CA_BUNDLE_PATH");
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const char *name : {"CADirectoryPath", "CABundleFileName"}) {
        Read<std::string> r;
        EXPECT_EQ(captureStdout([&] { r = readString(ctx.get(), name); }),
                  "Failed to get environment variable [CURL_CA_BUNDLE_PATH]\n");
        EXPECT_EQ(r.rc, PROPERTY_UNAVAILABLE) << name;
        EXPECT_TRUE(r.untouched) << name;
    }
}
