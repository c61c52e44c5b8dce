// The proxy from the service and the CA bundle location from the
// environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <string>

#include "sim_device.h"

using namespace velquar_test;

TEST(Network, ProxyTextIsSplitAtTheFirstColon) {
    struct Case {
        std::string state;
        std::string host;
        int port;
    };
    const Case cases[] = {
        {"proxy = gateway:80", "gateway", 80},
        {"proxy = gateway:abc", "gateway", 0},
        {"proxy = :312", "", 312},
        {"proxy = gateway", "gateway", 0},
        {"proxy = fe80::1:8080", "fe80", 0},
        // Beyond the int range the port saturates instead of wrapping.
        {"proxy = gateway:99999999999", "gateway", INT_MAX},
        {"", "", 0},
        // 32 bytes without a NUL, as hex.
        {"proxy.hex = " + std::string(64, '6'), std::string(32, 'f'), 0},
        {"proxy.hex = " + std::string(52, '6') + "3a3132333435", std::string(26, 'f'), 12345},
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
        Read<std::string> host, username, password;
        Read<int> port;
        EXPECT_EQ(captureStdout([&] {
                      host = readString(ctx.get(), "httpProxyHost");
                      port = readInt32(ctx.get(), "httpProxyPort");
                      username = readString(ctx.get(), "httpProxyUsername");
                      password = readString(ctx.get(), "httpProxyPassword");
                  }),
                  "");
        EXPECT_TRUE(host.rc == PROPERTY_OK && host.value == k.host) << host.value;
        EXPECT_TRUE(port.rc == PROPERTY_OK && port.value == k.port) << port.value;
        // The platform knows no proxy credentials.
        EXPECT_TRUE(username.rc == PROPERTY_OK && username.value.empty());
        EXPECT_TRUE(password.rc == PROPERTY_OK && password.value.empty());
        // Each getter asks once, with a zeroed 32-byte buffer.
        EXPECT_EQ(device.calls("AppIpcApi_GetProxy size=32 buffer=" + std::string(64, '0')).size(),
                  4u);
    }
}

TEST(Network, CABundlePathIsSplitAtTheLastSeparator) {
    struct Case {
        const char *path;  // nullptr: the variable is not set
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
        {nullptr, nullptr, nullptr},
    };
    SimDevice device;
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.path ? k.path : "(unset)");
        if (k.path) {
            setenv("CURL_CA_BUNDLE_PATH", k.path, 1);
        } else {
            unsetenv("CURL_CA_BUNDLE_PATH");
        }
        const std::string unset = "Failed to get environment variable [CURL_CA_BUNDLE_PATH]\n";
        Read<std::string> directory, file;
        EXPECT_EQ(captureStdout([&] {
                      directory = readString(ctx.get(), "CADirectoryPath");
                      file = readString(ctx.get(), "CABundleFileName");
                  }),
                  k.path ? "" : unset + unset);
        for (const auto &[r, want] : {std::pair{directory, k.directory}, {file, k.file}}) {
            EXPECT_EQ(r.rc, want ? PROPERTY_OK : PROPERTY_UNAVAILABLE);
            EXPECT_EQ(r.untouched, !want);
            if (want) {
                EXPECT_EQ(r.value, want);
            }
        }
    }
}
