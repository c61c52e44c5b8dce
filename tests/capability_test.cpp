// The capability properties: what each answers for a given device, the
// getters that ask the platform on every read, and the snapshot that does
// not change while the context lives.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "sim_device.h"

using namespace velquar_test;

namespace {

// One property read and what it should give.
struct Expect {
    const char *name;
    Type type;  // Bool or Int32
    int rc;
    long long value;  // when rc is PROPERTY_OK
};

Expect B(const char *name, bool value) {
    return {name, Type::Bool, PROPERTY_OK, value};
}
Expect I(const char *name, long long value) {
    return {name, Type::Int32, PROPERTY_OK, value};
}
Expect unavailable(const char *name) {
    return {name, Type::Int32, PROPERTY_UNAVAILABLE, 0};
}

// Reads every property of expects (printing nothing) and checks each result;
// a failed read must leave the variable alone.
void expectAnswers(DevicePropertiesProviderContext *ctx, const std::vector<Expect> &expects) {
    std::vector<Read<long long>> reads;
    std::string out = captureStdout([&] {
        for (const Expect &e : expects) {
            if (e.type == Type::Bool) {
                Read<bool> r = readBool(ctx, e.name);
                reads.push_back({r.rc, r.value, r.untouched});
            } else {
                Read<int> r = readInt32(ctx, e.name);
                reads.push_back({r.rc, r.value, r.untouched});
            }
        }
    });
    EXPECT_EQ(out, "");
    for (size_t n = 0; n < reads.size(); ++n) {
        const Expect &e = expects[n];
        EXPECT_EQ(reads[n].rc, e.rc) << e.name;
        if (e.rc == PROPERTY_OK) {
            EXPECT_EQ(reads[n].value, e.value) << e.name;
        } else {
            EXPECT_TRUE(reads[n].untouched) << e.name;
        }
    }
}

std::string panel(const std::string &width, const std::string &height) {
    return "capability.panel_width = " + width + "\ncapability.panel_height = " + height + "\n";
}

std::string hdr(int first, int second) {
    return "capability.hdr_flag1 = " + std::to_string(first) +
           "\ncapability.hdr_flag2 = " + std::to_string(second) + "\n";
}

struct DeviceCase {
    std::string label;
    std::string state;
    std::vector<Expect> expects;
};

std::vector<DeviceCase> deviceCases() {
    std::vector<DeviceCase> cases = {
        {"PanelExactlyUHD",
         panel("3840", "2160"),
         {B("supportsUHD", true), I("panelWidth", 3840), I("panelHeight", 2160),
          I("displayWidth", 3840), I("displayHeight", 2160)}},
        {"PanelOneLineShortOfUHD",
         panel("3840", "2159"),
         {B("supportsUHD", false), I("displayHeight", 2159)}},
        {"SmallPanelIsLaidOutAtFullHD",
         panel("1280", "720"),
         {B("supportsUHD", false), I("panelWidth", 1280), I("panelHeight", 720),
          I("displayWidth", 1920), I("displayHeight", 1080)}},
        // UHD compares unsigned, the display size signed.
        {"PanelSizesAboveTheSignedRange",
         panel("0x80000000", "0xFFFFFFFF"),
         {B("supportsUHD", true), I("panelWidth", INT_MIN), I("panelHeight", -1),
          I("displayWidth", 1920), I("displayHeight", 1080)}},

        {"Hdcp22",
         "hdcp_version = 22",
         {B("supportsHDCP", true), I("hdcpMajorVersion", 2), I("hdcpMinorVersion", 2)}},
        {"Hdcp14",
         "hdcp_version = 14",
         {B("supportsHDCP", true), I("hdcpMajorVersion", 1), I("hdcpMinorVersion", 4)}},
        {"HdcpBelowTen",
         "hdcp_version = 5",
         {B("supportsHDCP", true), I("hdcpMajorVersion", 0), I("hdcpMinorVersion", 5)}},
        // Division truncates toward zero; the remainder keeps the sign.
        {"HdcpNegative",
         "hdcp_version = -14",
         {B("supportsHDCP", true), I("hdcpMajorVersion", -1), I("hdcpMinorVersion", -4)}},
        {"NoHdcp",
         "hdcp_version = 0",
         {B("supportsHDCP", false), unavailable("hdcpMajorVersion"),
          unavailable("hdcpMinorVersion")}},

        {"BothHdrKinds", hdr(1, 1), {I("hdrFlags", 2), B("supportsHDR", true)}},
        {"FirstHdrKindOnly", hdr(1, 0), {I("hdrFlags", 2), B("supportsHDR", true)}},
        {"SecondHdrKindOnly", hdr(0, 1), {I("hdrFlags", 1), B("supportsHDR", true)}},
        {"NoHdr", hdr(0, 0), {I("hdrFlags", 0), B("supportsHDR", false)}},
        {"HevcFlagSet", "capability.hevc = 0x40", {B("supportsHEVC", true)}},
        // Bytes 10 and 12 belong to the service.
        {"ServiceBytesAreNotRead",
         hdr(0, 0) + "capability.hevc = 0\ncapability.byte10 = 255\ncapability.byte12 = 255\n",
         {B("supportsHEVC", false), I("hdrFlags", 0), B("supportsHDR", false)}},

        {"AudioPassthroughOnly",
         "audio.passthrough = 0",
         {B("dolbyDigitalAudioPassthroughOnly", true)}},
        {"AudioNotPassthroughOnly",
         "audio.passthrough = 1",
         {B("dolbyDigitalAudioPassthroughOnly", false)}},
    };
    // Codes 19 to 25 decode 10-bit HEVC, except 23; 275 is 19 in its low byte.
    for (long long code : {18, 19, 22, 23, 24, 25, 26, 275}) {
        cases.push_back({"DecoderCode" + std::to_string(code),
                         "mmplayer.decoder_capability = " + std::to_string(code),
                         {B("supportsHEVC10Bits", code >= 19 && code <= 25 && code != 23)}});
    }
    for (int medium : {0, 1, 2, 3}) {
        cases.push_back({"Medium" + std::to_string(medium),
                         "medium = " + std::to_string(medium),
                         {B("WiFiNetworkConnection", medium == 2)}});
    }
    return cases;
}

class Device : public testing::TestWithParam<DeviceCase> {};

TEST_P(Device, Answers) {
    SimDevice device(GetParam().state);
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    expectAnswers(ctx.get(), GetParam().expects);
}

INSTANTIATE_TEST_SUITE_P(Capability, Device, testing::ValuesIn(deviceCases()),
                         [](const testing::TestParamInfo<DeviceCase> &param) {
                             return param.param.label;
                         });

}  // namespace

// The two getters that ask the platform on every read: a failing call is
// reported with its code, and the caller's variable stays as it was even when
// the service wrote its own out value before failing.
TEST(Capability, FailingPlatformCallIsReportedPerRead) {
    struct Case {
        const char *state;
        const char *name;
        const char *call;
        const char *output;
    };
    const Case cases[] = {
        {"medium.result = -5\nmedium = 2", "WiFiNetworkConnection",
         "AppIpcApi_GetCurrentMediumType ", "AppIpcApi_GetCurrentMediumType() failed err:-5\n"},
        {"medium.result = 7", "WiFiNetworkConnection", "AppIpcApi_GetCurrentMediumType ",
         "AppIpcApi_GetCurrentMediumType() failed err:7\n"},
        {"audio.result = 0x80000010\naudio.passthrough = 0", "dolbyDigitalAudioPassthroughOnly",
         "AppIpcApi_GetAudioCapability ",
         "AppIpcApi_GetAudioCapability() failed err:-2147483632\n"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.state);
        SimDevice device;
        Context ctx;
        ASSERT_EQ(ctx.rc(), PROPERTY_OK);
        device.setState(k.state);
        device.clearLog();
        Read<bool> r{};
        std::string out = captureStdout([&] { r = readBool(ctx.get(), k.name); });
        EXPECT_EQ(r.rc, PROPERTY_UNAVAILABLE);
        EXPECT_TRUE(r.untouched);
        EXPECT_EQ(out, k.output);
        EXPECT_EQ(device.calls(k.call).size(), 1u);
        EXPECT_EQ(device.log().size(), 1u);
    }
}

// The snapshot, and the compressed content encoding (libcurl's zlib support),
// answer without a platform call; the other two getters ask on every read.
TEST(Capability, SnapshotStaysAsFetchedWhileOtherGettersAskAgain) {
    SimDevice device;  // the default 4K device on a wired network
    Context ctx;
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    const curl_version_info_data *curl = curl_version_info(CURLVERSION_FOURTH);
    ASSERT_NE(curl, nullptr);
    device.setState(panel("1280", "720") + hdr(0, 0) +
                    "hdcp_version = 14\ncapability.hevc = 0\nmmplayer.decoder_capability = 23\n"
                    "medium = 2\naudio.passthrough = 0\n");
    device.clearLog();
    expectAnswers(ctx.get(),
                  {B("supportsUHD", true), B("supportsHEVC", true), B("supportsHDR", true),
                   B("supportsHEVC10Bits", true), B("supportsHDCP", true), I("hdrFlags", 2),
                   I("hdcpMajorVersion", 2), I("hdcpMinorVersion", 2), I("panelWidth", 3840),
                   I("panelHeight", 2160), I("displayWidth", 3840), I("displayHeight", 2160),
                   B("supportsCompressedContentEncoding", curl->libz_version != nullptr)});
    EXPECT_TRUE(device.log().empty());

    Read<bool> wifi = readBool(ctx.get(), "WiFiNetworkConnection");
    Read<bool> passthrough = readBool(ctx.get(), "dolbyDigitalAudioPassthroughOnly");
    EXPECT_TRUE(wifi.rc == PROPERTY_OK && wifi.value);
    EXPECT_TRUE(passthrough.rc == PROPERTY_OK && passthrough.value);
    const std::vector<std::string> log = device.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("AppIpcApi_GetCurrentMediumType ", 0), 0u);
    EXPECT_EQ(log[1].rfind("AppIpcApi_GetAudioCapability ", 0), 0u);
}
