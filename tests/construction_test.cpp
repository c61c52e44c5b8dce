// Fetching the platform snapshot when a context is created: the calls made,
// their arguments and order, the wait for the input source, and what each
// platform failure prints and leaves absent.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "sim_device.h"

using namespace velquar_test;

namespace {

const std::string kClient = "Tevrin_MM_PlayerInterface::";
const std::string kInputSource = "AppIpcApi_GetCurrentInputSource ";
const std::string kQuery = "AppIpcApi_QueryPlatformAllCapability ";

// The media-player client calls in order, by name only.
std::vector<std::string> clientCalls(const SimDevice &device) {
    std::vector<std::string> names;
    for (const std::string &line : device.calls(kClient)) {
        std::string rest = line.substr(kClient.size());
        names.push_back(rest.substr(0, rest.find(' ')));
    }
    return names;
}

const std::vector<std::string> kFullClient = {"Tevrin_MM_PlayerInterface", "MM_Initialize",
                                              "MM_GetOptionByPara", "MM_Finalize",
                                              "~Tevrin_MM_PlayerInterface"};

long long millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

}  // namespace

TEST(Construction, DefaultDeviceCallSequenceAndArguments) {
    SimDevice device;
    std::string out;
    Context ctx(&out);
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    EXPECT_EQ(out, "");
    const std::vector<std::string> log = device.log();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[0], "AppIpcApi_GetHDCPVersion version=0 -> ret=0 version=22");
    EXPECT_EQ(log[1], kInputSource + "source=45 reserved=0 -> ret=0 source=34");
    EXPECT_EQ(log[2], kQuery + "record=" + std::string(26, '0') + " -> ret=0");
    EXPECT_EQ(log[3], kClient + "Tevrin_MM_PlayerInterface");
    EXPECT_EQ(log[4], kClient + "MM_Initialize -> ret=0");
    // Word 16 little-endian, then zeros; bytes 9 to 11 are padding, not preset,
    // and the stand-in may log them as dashes.
    std::smatch m;
    const std::regex option(kClient + "MM_GetOptionByPara words=0,0,4,32,0,0 " +
                            "option=([0-9a-f]{18})(?:[0-9a-f]{6}|-{6})([0-9a-f]{40}) -> ret=0");
    ASSERT_TRUE(std::regex_match(log[5], m, option)) << log[5];
    EXPECT_EQ(m[1].str(), "100000000000000000");
    EXPECT_EQ(m[2].str(), std::string(40, '0'));
    EXPECT_EQ(log[6], kClient + "MM_Finalize -> ret=0");
    EXPECT_EQ(log[7], kClient + "~Tevrin_MM_PlayerInterface");
}

struct InputSourceCase {
    const char *label;
    const char *state;
    size_t calls;
    long long minMs, maxMs;  // elapsed: one 200 ms sleep per try that missed
};

class InputSourceWait : public testing::TestWithParam<InputSourceCase> {};

TEST_P(InputSourceWait, QueriesTheCapabilityOnlyOnceTheExpectedSourceIsSeen) {
    const InputSourceCase &k = GetParam();
    SimDevice device(k.state);
    const auto start = std::chrono::steady_clock::now();
    std::string out;
    Context ctx(&out);
    const long long elapsed = millisecondsSince(start);
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    EXPECT_EQ(out, "");

    // The HDCP version, the tries, the query, then the five client calls.
    const std::vector<std::string> log = device.log();
    ASSERT_EQ(log.size(), k.calls + 7);
    EXPECT_EQ(log[1].rfind(kInputSource + "source=45 reserved=0 ", 0), 0u) << log[1];
    for (size_t n = 1; n <= k.calls; ++n) {
        EXPECT_EQ(log[n].rfind(kInputSource, 0), 0u) << log[n];
        EXPECT_NE(log[n].find(" reserved=0 "), std::string::npos) << log[n];
    }
    EXPECT_EQ(log[k.calls].substr(log[k.calls].size() - 10), " source=34");
    EXPECT_EQ(log[k.calls + 1].rfind(kQuery, 0), 0u) << log[k.calls + 1];
    EXPECT_GE(elapsed, k.minMs);
    EXPECT_LT(elapsed, k.maxMs);
    EXPECT_EQ(readBool(ctx.get(), "supportsUHD").rc, PROPERTY_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Tries, InputSourceWait,
    testing::Values(InputSourceCase{"AtOnce", "input_source = 34", 1, 0, 190},
                    InputSourceCase{"ThirdTry", "input_source = 45, 45, 34", 3, 400, 590},
                    // Only the value counts, never the call's result code.
                    InputSourceCase{"CallFailsButReports34",
                                    "input_source.result = -5\ninput_source = 34", 1, 0, 190}),
    [](const testing::TestParamInfo<InputSourceCase> &param) { return param.param.label; });

struct FailureCase {
    const char *label;
    const char *state;
    const char *output;  // everything construction prints
    std::vector<std::string> client;
    int hdcpVersion;   // as the snapshot holds it
    bool capability;   // capability record present
    bool option;       // option record present
    size_t tries = 1;  // input-source calls; the query follows only a source that was expected
};

class PlatformFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(PlatformFailure, IsReportedAndLeavesOnlyItsPartAbsent) {
    const FailureCase &k = GetParam();
    SimDevice device(k.state);
    const auto start = std::chrono::steady_clock::now();
    std::string out;
    Context ctx(&out);
    const long long elapsed = millisecondsSince(start);
    ASSERT_EQ(ctx.rc(), PROPERTY_OK);
    EXPECT_EQ(out, k.output);
    EXPECT_EQ(clientCalls(device), k.client);
    EXPECT_EQ(device.calls("AppIpcApi_GetHDCPVersion ").size(), 1u);
    EXPECT_EQ(device.calls(kInputSource).size(), k.tries);
    EXPECT_EQ(device.calls(kQuery).size(), k.tries < 50 ? 1u : 0u);
    // One 200 ms sleep per try that missed, the 50th included.
    EXPECT_GE(elapsed, k.tries == 50 ? 10000 : 0);
    EXPECT_LT(elapsed, k.tries == 50 ? 15000 : 5000);

    // Reading an absent part prints nothing. The capability record's getters
    // all answer, or all fail and leave the variable alone.
    const char *const recordNames[] = {"supportsUHD",  "supportsHEVC", "supportsHDR",
                                       "hdrFlags",     "panelWidth",   "panelHeight",
                                       "displayWidth", "displayHeight"};
    std::vector<Outcome> record;
    Read<bool> hevc10{}, hdcp{}, videoNode{}, hexManifest{};
    Read<int> major{}, minor{};
    out = captureStdout([&] {
        for (const char *name : recordNames) {
            record.push_back(readAs(record.size() < 3 ? Type::Bool : Type::Int32, ctx.get(), name));
        }
        hevc10 = readBool(ctx.get(), "supportsHEVC10Bits");
        hdcp = readBool(ctx.get(), "supportsHDCP");
        major = readInt32(ctx.get(), "hdcpMajorVersion");
        minor = readInt32(ctx.get(), "hdcpMinorVersion");
        videoNode = readBool(ctx.get(), "hasPlatformVideoNode");
        hexManifest = readBool(ctx.get(), "supportsHexEncodedManifest");
    });
    EXPECT_EQ(out, "");
    for (size_t n = 0; n < record.size(); ++n) {
        EXPECT_EQ(record[n].rc, k.capability ? PROPERTY_OK : PROPERTY_UNAVAILABLE)
            << recordNames[n];
        EXPECT_EQ(record[n].untouched, !k.capability) << recordNames[n];
    }
    EXPECT_EQ(hevc10.rc, k.option ? PROPERTY_OK : PROPERTY_UNAVAILABLE);
    EXPECT_EQ(hevc10.untouched, !k.option);
    EXPECT_EQ(hevc10.value, k.option);  // the default decoder code 19

    EXPECT_EQ(hdcp.rc, PROPERTY_OK);
    EXPECT_EQ(hdcp.value, k.hdcpVersion != 0);
    EXPECT_EQ(major.rc, k.hdcpVersion ? PROPERTY_OK : PROPERTY_UNAVAILABLE);
    EXPECT_EQ(minor.rc, k.hdcpVersion ? PROPERTY_OK : PROPERTY_UNAVAILABLE);
    if (k.hdcpVersion) {
        EXPECT_EQ(major.value, k.hdcpVersion / 10);
        EXPECT_EQ(minor.value, k.hdcpVersion % 10);
    } else {
        EXPECT_TRUE(major.untouched && minor.untouched);
    }
    // These two answer whatever the platform did.
    EXPECT_TRUE(videoNode.rc == PROPERTY_OK && videoNode.value);
    EXPECT_TRUE(hexManifest.rc == PROPERTY_OK && hexManifest.value);
}

const std::vector<std::string> kNoQuery = {"Tevrin_MM_PlayerInterface", "MM_Initialize",
                                           "~Tevrin_MM_PlayerInterface"};

INSTANTIATE_TEST_SUITE_P(
    Calls, PlatformFailure,
    testing::Values(
        FailureCase{"HdcpVersion", "hdcp_version.result = -7",
                    "AppIpcApi_GetHDCPVersion() failed err:-7\n", kFullClient, 0, true, true},
        // The number keeps what the failing call left in it.
        FailureCase{"HdcpVersionWrittenAnyway", "hdcp_version.result = -7\nhdcp_version = 14",
                    "AppIpcApi_GetHDCPVersion() failed err:-7\n", kFullClient, 14, true, true},
        FailureCase{"CapabilityQuery", "capability.result = 0x80000010",
                    "AppIpcApi_QueryPlatformAllCapability() failed code:-2147483632\n", kFullClient,
                    22, false, true},
        FailureCase{"Initialize", "mmplayer.initialize.result = -4", "MM_Initialize()) failed\n",
                    kNoQuery, 22, true, false},
        FailureCase{"GetOption", "mmplayer.get_option.result = -9",
                    "MM_GetOptionByPara() failed err:-9\n", kFullClient, 22, true, false},
        // A failing finalize is only reported: the record read before stays.
        FailureCase{"Finalize", "mmplayer.finalize.result = 3", "MM_Finalize() failed\n",
                    kFullClient, 22, true, true},
        FailureCase{"GetOptionAndFinalize",
                    "mmplayer.get_option.result = -9\nmmplayer.finalize.result = 3",
                    "MM_GetOptionByPara() failed err:-9\nMM_Finalize() failed\n", kFullClient, 22,
                    true, false},
        FailureCase{"AllButTheInputSource",
                    "hdcp_version.result = -1\ncapability.result = -1\naudio.result = -1\n"
                    "medium.result = -1\nmmplayer.initialize.result = -1\n"
                    "mmplayer.get_option.result = -1\nmmplayer.finalize.result = -1\n",
                    "AppIpcApi_GetHDCPVersion() failed err:-1\n"
                    "AppIpcApi_QueryPlatformAllCapability() failed code:-1\n"
                    "MM_Initialize()) failed\n",
                    kNoQuery, 0, false, false},
        // The one row that waits the full 50 tries (the stand-in repeats the
        // last value of its sequence): only the capability record is given up.
        FailureCase{"InputSourceNeverExpected", "input_source = 45, 23",
                    "\n \x1b[1;33;40m Palomir: incorrect input source type(23) \x1b[0m  \n",
                    kFullClient, 22, false, true, 50}),
    [](const testing::TestParamInfo<FailureCase> &param) { return param.param.label; });
