// The velquar-props inspector, run as a process against the built library
// and the stand-ins.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <algorithm>
#include <array>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "emulator.h"
#include "refuse_call.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

// Runs the inspector with args (plain words, no quoting needed) in this
// process's environment, which names the device's state and log.
ProgramRun inspect(const SimDevice &device, const std::vector<std::string> &args,
                   const std::vector<std::string> &settings = {}) {
    std::string command = inspectorCommand(settings);
    for (const std::string &a : args) {
        command += " " + a;
    }
    return runCommand(command, device.dir() + "/stderr");
}

std::vector<std::string> words(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

// The inspector's name of each type, in the order of Type.
const char *const kTypeWords[] = {"bool", "int32", "int64", "string"};

// The rows of the table output, by the words of each line that starts with a
// catalogue name or the given extra name; the library's own lines are skipped.
std::vector<std::vector<std::string>> rows(const std::string &out, const std::string &extra = "") {
    std::vector<std::vector<std::string>> found;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> w = words(line);
        if (w.empty()) {
            continue;
        }
        bool known = w[0] == extra;
        for (const Property &p : catalogue()) {
            known = known || w[0] == p.name;
        }
        if (known) {
            found.push_back(w);
        }
    }
    return found;
}

// Arguments that load the library of this build by its path.
std::vector<std::string> built(std::vector<std::string> args) {
    args.insert(args.begin(), {"--library", VELQUAR_LIBRARY_PATH});
    return args;
}

std::vector<std::string> row(std::initializer_list<const char *> w) {
    return std::vector<std::string>(w.begin(), w.end());
}

}  // namespace

// Without --library the inspector finds the library beside itself.
TEST(Inspector, PrintsTheHeaderAndOneRowPerProperty) {
    SimDevice device;
    ProgramRun run = inspect(device, {});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(words(run.out.substr(0, run.out.find('\n'))),
              row({"PROPERTY", "TYPE", "RESULT", "VALUE"}));
    const auto table = rows(run.out);
    ASSERT_EQ(table.size(), 49u) << run.out;
    for (size_t n = 0; n < table.size(); ++n) {
        const Property &p = catalogue()[n];
        ASSERT_GE(table[n].size(), 3u);
        EXPECT_EQ(table[n][0], p.name);
        EXPECT_EQ(table[n][1], kTypeWords[static_cast<int>(p.type)]) << p.name;
        // The inspector reads each property with the function of its type.
        EXPECT_NE(table[n][2], "PROPERTY_NOT_FOUND") << p.name;
        EXPECT_NE(table[n][2], "PROPERTY_TYPE_MISMATCH") << p.name;
    }
    EXPECT_EQ(table[8], row({"supportsUHD", "bool", "OK", "true"}));
    EXPECT_EQ(table[21], row({"panelWidth", "int32", "OK", "3840"}));
}

TEST(Inspector, NamedPropertiesGetOnlyTheirRows) {
    SimDevice device("hdcp_version = 0\n");
    ProgramRun run = inspect(device, built({"panelWidth", "hdcpMajorVersion", "noSuchProperty"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto table = rows(run.out, "noSuchProperty");
    ASSERT_EQ(table.size(), 3u) << run.out;
    EXPECT_EQ(table[0], row({"panelWidth", "int32", "OK", "3840"}));
    EXPECT_EQ(table[1], row({"hdcpMajorVersion", "int32", "PROPERTY_UNAVAILABLE"}));
    EXPECT_EQ(table[2], row({"noSuchProperty", "-", "PROPERTY_NOT_FOUND"}));
}

// osName keeps the command's line feed; the table shows it as an escape, so
// the row stays one line.
TEST(Inspector, ControlCharactersInValuesAreEscaped) {
    SimDevice device;
    ProgramRun run = inspect(device, built({"osName"}));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    const auto table = rows(run.out);
    ASSERT_EQ(table.size(), 1u) << run.out;
    const std::string value = table[0].back();
    ASSERT_GT(value.size(), 2u);
    EXPECT_EQ(value.substr(value.size() - 2), "\\n");
}

// The JSON document as Python's json module reads it: first the lines of
// creation and release, then one line per property with name, type, code,
// value and printed lines. Texts come back as the bytes they stand for
// (surrogateescape), in hex after an "x"; "-" is null or no line at all.
const char *const kJsonSummary = R"(
import json, sys
def text(s): return 'x' + s.encode('utf-8', 'surrogateescape').hex()
def lines(l): return ','.join(text(s) for s in l) or '-'
d = json.load(open(sys.argv[1], 'rb'))
print(lines(d['output']))
for p in d['properties']:
    v = p['value']
    v = '-' if v is None else text(v) if isinstance(v, str) else json.dumps(v)
    print(p['name'], p['type'], p['code'], v, lines(p['output']))
)";

std::string hexText(const std::string &s) {
    std::string out = "x";
    char buf[4];
    for (unsigned char c : s) {
        snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

// Printed text as the inspector splits it: at line feeds, a rest after the
// last one being a line too.
std::string hexLines(const std::string &printed) {
    std::string out;
    size_t start = 0;
    for (size_t end; start < printed.size(); start = end + 1) {
        end = printed.find('\n', start);
        if (end == std::string::npos) {
            end = printed.size();
        }
        out += (out.empty() ? "" : ",") + hexText(printed.substr(start, end - start));
    }
    return out.empty() ? "-" : out;
}

// What the document should say of p: the same read through the library in
// this process, on the same device, in the same order.
std::string expectedLine(DevicePropertiesProviderContext *ctx, const Property &p) {
    int rc = 0;
    std::string value;
    const std::string printed = captureStdout([&] {
        switch (p.type) {
            case Type::Bool: {
                const auto r = readBool(ctx, p.name);
                rc = r.rc;
                value = r.value ? "true" : "false";
                break;
            }
            case Type::Int32: {
                const auto r = readInt32(ctx, p.name);
                rc = r.rc;
                value = std::to_string(r.value);
                break;
            }
            case Type::Int64: {
                const auto r = readInt64(ctx, p.name);
                rc = r.rc;
                value = std::to_string(r.value);
                break;
            }
            case Type::String: {
                const auto r = readString(ctx, p.name, 8192);
                rc = r.rc;
                value = hexText(r.value);
                break;
            }
        }
    });
    return std::string(p.name) + " " + kTypeWords[static_cast<int>(p.type)] + " " +
           std::to_string(rc) + " " + (rc == PROPERTY_OK ? value : "-") + " " + hexLines(printed);
}

struct JsonCase {
    const char *profile;  // in simulator/profiles, or null for the hostile device below
};

// Every text the platform hands over holds bytes that are not UTF-8 and
// control characters: the customer record, the proxy text, the CA bundle
// path and the configuration file (its path, so the store's lines carry
// them too, and its values).
const char kHostile[] =
    "\x01\xff\x1b[\xc3(\xe2\x82\\\"\x7f\xed\xa0\x80\xf4\x90\x80\x80\xc3\xa9"
    "\xe2\x82\xac\xe0\x80\xaf";
// kHostile as the document must spell it, byte for byte: valid text (é, €)
// as itself, every byte of an invalid or overlong sequence as its
// surrogate, control characters as escapes. A reader's round trip cannot
// tell some wrong spellings from this one.
const char kHostileJson[] =
    "\"\\u0001\\udcff\\u001b[\\udcc3(\\udce2\\udc82\\\\\\\"\\u007f\\udced\\udca0\\udc80"
    "\\udcf4\\udc90\\udc80\\udc80\xc3\xa9\xe2\x82\xac\\udce0\\udc80\\udcaf\"";

class InspectorJson : public testing::TestWithParam<JsonCase> {};

TEST_P(InspectorJson, DocumentHoldsWhatTheLibraryAnswersAndPrints) {
    std::string state;
    if (GetParam().profile) {
        std::ifstream in(std::string(VELQUAR_PROFILES_DIR) + "/" + GetParam().profile);
        state.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_FALSE(state.empty()) << GetParam().profile;
    }
    SimDevice device(state);
    if (!GetParam().profile) {
        const std::string config = device.dir() + "/conf\xff\x01ig.ini";
        std::ofstream(config) << "[Device]\nPlatformPackageVersion = " << kHostile
                              << "\nDeviceTypeId = " << kHostile
                              << "\n[PlaybackMisc]\nFragmentCacheMountPoint = " << kHostile
                              << "\n[Network]\nBandwidthEstimateFilePath = " << kHostile << "\n";
        state = "config_path = " + config +
                "\nproxy.hex = 01ff1b5bc328e2825c227fed3a38303830000000000000000000000000000000\n";
        for (const char *field : {"model_name", "manufacturer", "chipset", "firmware_version"}) {
            state += std::string("customer.") + field + " = " + kHostile + "\n";
        }
        device.setState(state);
        setenv("CURL_CA_BUNDLE_PATH", (std::string(kHostile) + "/b\xff\n.pem").c_str(), 1);
    }
    // The inspector and this process wait for the platform at the same time.
    std::string created;
    std::unique_ptr<Context> ctx;
    std::thread creation([&] { ctx = std::make_unique<Context>(&created); });
    ProgramRun run = inspect(device, built({"--json"}));
    creation.join();
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(ctx->rc(), PROPERTY_OK);
    // The profiles and the hostile device use only keys the stand-ins know.
    EXPECT_EQ(run.err.find("velquar simulator:"), std::string::npos) << run.err;
    if (!GetParam().profile) {
        EXPECT_NE(run.out.find("{\"name\": \"platformPackageVersion\", \"type\": \"string\", "
                               "\"result\": \"OK\", \"code\": 0, \"value\": " +
                               std::string(kHostileJson) + ", "),
                  std::string::npos)
            << run.out;
    }

    const std::string document = device.dir() + "/document.json";
    std::ofstream(document) << run.out;
    if (!GetParam().profile) {
        // Bytes that are not UTF-8 come back from the document as they went in.
        const ProgramRun again = inspect(device, built({"--compare", document}));
        EXPECT_EQ(again.status, 0) << again.out;
        EXPECT_NE(again.out.find("49 properties compared: 0 differing"), std::string::npos)
            << again.out;
    }
    setenv("VELQUAR_JSON_SUMMARY", kJsonSummary, 1);
    const ProgramRun python = runCommand("python3 -c \"$VELQUAR_JSON_SUMMARY\" " + document,
                                         device.dir() + "/python.err");
    ASSERT_EQ(python.status, 0) << python.err << "\n" << run.out;
    std::vector<std::string> summary;
    std::istringstream lines(python.out);
    for (std::string line; std::getline(lines, line);) {
        summary.push_back(line);
    }
    ASSERT_EQ(summary.size(), 1 + catalogue().size());

    std::vector<std::string> expected;
    for (const Property &p : catalogue()) {
        expected.push_back(expectedLine(ctx->get(), p));
    }
    created += captureStdout([&] { ctx->release(); });
    EXPECT_EQ(summary[0], hexLines(created));
    for (size_t n = 0; n < expected.size(); ++n) {
        if (strcmp(catalogue()[n].name, "availableMemory") == 0) {
            continue;  // changes from one moment to the next
        }
        EXPECT_EQ(summary[n + 1], expected[n]);
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, InspectorJson,
                         testing::Values(JsonCase{"4k-hdr.state"}, JsonCase{"1080p-wifi.state"},
                                         JsonCase{"wrong-input-source.state"},
                                         JsonCase{"all-fail.state"}, JsonCase{nullptr}));

// --value: the value alone on standard output, the library's lines and the
// failure on standard error, the status telling a failed read from an
// unknown name.
TEST(Inspector, ValueModePrintsOnlyTheValue) {
    struct Case {
        const char *state;
        const char *name;
        int status;
        std::string out;
        const char *err;  // a line standard error holds
    };
    const Case cases[] = {
        {"", "platformPackageVersion", 0, "6.2.1-velquar.20261201\n",
         "Orvane Palomir config path: "},
        {"customer.model_name = OV\x01\xff\\55\n", "modelName", 0, "OV\x01\xff\\55\n", ""},
        {"", "panelWidth", 0, "3840\n", ""},
        {"", "supportsUHD", 0, "true\n", ""},
        {"hdcp_version = 0\n", "hdcpMajorVersion", 3, "",
         "velquar-props: hdcpMajorVersion: PROPERTY_UNAVAILABLE\n"},
        {"", "noSuchProperty", 4, "", "velquar-props: noSuchProperty: PROPERTY_NOT_FOUND\n"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        SimDevice device(k.state);
        ProgramRun run = inspect(device, built({"--value", k.name}));
        EXPECT_EQ(run.status, k.status) << run.err;
        EXPECT_EQ(run.out, k.out);
        EXPECT_NE(run.err.find(k.err), std::string::npos) << run.err;
    }
}

TEST(Inspector, HelpNeedsNoPlatform) {
    SimDevice device;
    ProgramRun run = inspect(device, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: velquar-props ", 0), 0u) << run.out;
    EXPECT_TRUE(device.log().empty());
}

// --list names every property with its type, in catalogue order, from the
// program alone: no library is loaded and the platform is not asked.
TEST(Inspector, ListNamesTheCatalogueWithoutAContext) {
    std::string table, document = "{\n  \"properties\": [\n";
    for (size_t n = 0; n < catalogue().size(); ++n) {
        const Property &p = catalogue()[n];
        const std::string type = kTypeWords[static_cast<int>(p.type)];
        table += p.name + std::string(" ") + type + "\n";
        document += std::string("    {\"name\": \"") + p.name + "\", \"type\": \"" + type + "\"}" +
                    (n + 1 < catalogue().size() ? ",\n" : "\n");
    }
    document += "  ]\n}\n";
    struct Case {
        std::vector<std::string> args;
        bool json;
    };
    const Case cases[] = {
        {{"--list"}, false},
        {{"--list", "--library", "/nonexistent.so"}, false},
        {{"--json", "--list"}, true},
        {{"-q", "--list", "--json"}, true},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.front());
        SimDevice device;
        ProgramRun run = inspect(device, k.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(device.log().empty());
        if (!k.json) {
            // Name and type, separated by blanks for the eye.
            std::string joined;
            std::istringstream in(run.out);
            for (std::string line; std::getline(in, line);) {
                const std::vector<std::string> w = words(line);
                joined += (w.size() == 2 ? w[0] + " " + w[1] : line) + "\n";
            }
            EXPECT_EQ(joined, table);
        } else {
            EXPECT_EQ(run.out, document);
        }
    }
}

// The note that creation waits for the platform reaches a person at a
// terminal once a second has passed, and nobody else.
const char *const kOnTerminal = R"(
import os, pty, subprocess, sys
master, slave = pty.openpty()
child = subprocess.Popen(sys.argv[1:], stderr=slave)
os.close(slave)
seen = b''
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    seen += chunk
sys.stderr.write(seen.decode('utf-8', 'replace'))
sys.exit(child.wait())
)";

TEST(Inspector, WaitingNoteOnlyForASlowPlatformAndATerminal) {
    // Seven pauses of 200 ms before the expected input source.
    const char kSlow[] = "input_source = 45, 45, 45, 45, 45, 45, 45, 34\n";
    struct Case {
        const char *name;
        const char *state;
        bool terminal;
        const char *option;
        bool note;
    };
    const Case cases[] = {
        {"SlowAtATerminal", kSlow, true, "", true},
        {"QuietAtATerminal", kSlow, true, "-q", false},
        {"QuietLongAtATerminal", kSlow, true, "--quiet", false},
        {"FastAtATerminal", "", true, "", false},
        {"SlowIntoAFile", kSlow, false, "", false},
    };
    setenv("VELQUAR_ON_TERMINAL", kOnTerminal, 1);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        SimDevice device(k.state);
        const std::string command =
            std::string(k.terminal ? "python3 -c \"$VELQUAR_ON_TERMINAL\" " : "") +
            inspectorCommand() + " " + k.option +
            " --library " VELQUAR_LIBRARY_PATH " --value panelWidth";
        ProgramRun run = runCommand(command, device.dir() + "/stderr");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "3840\n");
        EXPECT_EQ(run.err.find("velquar-props: waiting for the platform") != std::string::npos,
                  k.note)
            << run.err;
        EXPECT_EQ(device.calls("AppIpcApi_GetCurrentInputSource ").size(), k.state[0] ? 8u : 1u);
    }
}

void writeText(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The bring-up check's rules, in the order the report gives them.
const char *const kRules[] = {
    "panel-size",     "hdcp-version",   "hdr",
    "hevc",           "device-id",      "device-language",
    "http-proxy",     "memory",         "device-config",
    "playback-flags", "fragment-cache", "update-frequency",
    "bandwidth-file", "ca-bundle",      "identity",
};

// The rules the report fails, after checking that it names every rule once
// with PASS or FAIL and ends with the right summary.
std::set<std::string> failedRules(const std::string &report) {
    std::set<std::string> failed, named;
    std::istringstream in(report);
    std::string line, summary;
    while (std::getline(in, line)) {
        const std::vector<std::string> w = words(line);
        if (w.size() >= 2 && (w[0] == "PASS" || w[0] == "FAIL")) {
            EXPECT_TRUE(named.insert(w[1]).second) << line;
            if (w[0] == "FAIL") {
                failed.insert(w[1]);
            }
        } else {
            summary = line;
        }
    }
    const size_t count = sizeof kRules / sizeof kRules[0];
    EXPECT_EQ(named, std::set<std::string>(kRules, kRules + count)) << report;
    EXPECT_EQ(summary, std::to_string(count) + " rules: " + std::to_string(count - failed.size()) +
                           " passed, " + std::to_string(failed.size()) + " failed")
        << report;
    return failed;
}

// The check's JSON document as Python reads it: "rule RESULT" per rule,
// then the counts and the number of the library's lines.
const char *const kCheckSummary = R"(
import json, sys
d = json.load(open(sys.argv[1], 'rb'))
for r in d['rules']:
    assert all(v['result'] == 'OK' or v['value'] is None for v in r['values'])
    print(r['rule'], r['result'])
print(d['passed'], d['failed'], len(d['output']))
)";

struct CheckCase {
    const char *name;
    const char *state;   // a profile file name, or state text
    const char *config;  // the application's configuration file, or null for the sample
    std::set<std::string> failed;
};

class InspectorCheck : public testing::TestWithParam<CheckCase> {};

// A correct television passes every rule; each fault of a vendor library
// or a configuration fails the rule it breaks, and only that.
TEST_P(InspectorCheck, JudgesTheAnswers) {
    const CheckCase &k = GetParam();
    std::string state = k.state;
    if (state.size() > 6 && state.substr(state.size() - 6) == ".state") {
        std::ifstream in(std::string(VELQUAR_PROFILES_DIR) + "/" + k.state);
        state.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        ASSERT_FALSE(state.empty()) << k.state;
    }
    SimDevice device(state);
    if (k.config) {
        writeText(device.dir() + "/app.ini", k.config);
        device.setState(state + "config_path = " + device.dir() + "/app.ini\n");
    }
    // The document says the same, the library's lines inside it; the two
    // wait for the platform at the same time.
    ProgramRun json;
    std::thread inJson([&] {
        json = runCommand(inspectorCommand() + " --library " VELQUAR_LIBRARY_PATH " --check --json",
                          device.dir() + "/json.err");
    });
    ProgramRun run = inspect(device, built({"--check"}));
    inJson.join();
    EXPECT_EQ(run.status, k.failed.empty() ? 0 : 1) << run.err;
    EXPECT_EQ(failedRules(run.out), k.failed) << run.out;
    EXPECT_EQ(json.status, run.status) << json.err;
    const std::string document = device.dir() + "/check.json";
    std::ofstream(document) << json.out;
    setenv("VELQUAR_CHECK_SUMMARY", kCheckSummary, 1);
    ProgramRun summary =
        runCommand("python3 -c \"$VELQUAR_CHECK_SUMMARY\" " + document, device.dir() + "/py.err");
    ASSERT_EQ(summary.status, 0) << summary.err << json.out;
    std::string expected;
    for (const char *rule : kRules) {
        expected += std::string(rule) + (k.failed.count(rule) ? " FAIL\n" : " PASS\n");
    }
    const size_t rules = sizeof kRules / sizeof kRules[0];
    expected += std::to_string(rules - k.failed.size()) + " " + std::to_string(k.failed.size());
    ASSERT_EQ(summary.out.rfind(expected + " ", 0), 0u) << summary.out;
    // The library's lines are in it: at least the one naming the
    // configuration file.
    EXPECT_GT(std::stoi(summary.out.substr(expected.size() + 1)), 0) << json.out;
}

const char kBrokenConfig[] =
    "[Device]\nPlatformPackageVersion = 6.2\nDeviceMode = Prod\nDeviceTypeId = TV\n"
    "[PlaybackEncoding]\nsupportsIntraChunkSeeking = true\nsupportsCVBR = false\n"
    "supportsSurround = true\n[PlaybackAudio]\nsupportsAudioCodecSwitching = false\n"
    "[PlaybackExternalOutput]\nhasExternalOutput = false\n"
    "[PlaybackMisc]\nFragmentCacheSize = 0\nUpdateFrequency = 0\n"
    "FragmentCacheMountPoint = /cache\n[Network]\nBandwidthEstimateFilePath = bandwidth.dat\n";

INSTANTIATE_TEST_SUITE_P(
    Televisions, InspectorCheck,
    testing::Values(
        CheckCase{"Default", "", nullptr, {}}, CheckCase{"Uhd", "4k-hdr.state", nullptr, {}},
        CheckCase{"FullHd", "1080p-wifi.state", nullptr, {}},
        CheckCase{"AllFail",
                  "all-fail.state",
                  nullptr,
                  {"panel-size", "hdcp-version", "hdr", "hevc", "device-id", "device-language",
                   "device-config", "playback-flags", "fragment-cache", "update-frequency",
                   "bandwidth-file", "identity"}},
        CheckCase{"NoPanel",
                  "capability.panel_width = 0\ncapability.panel_height = 0\n",
                  nullptr,
                  {"panel-size"}},
        CheckCase{"HugePanel", "capability.panel_width = 983040\n", nullptr, {"panel-size"}},
        CheckCase{"NoPanelHeight", "capability.panel_height = 0\n", nullptr, {"panel-size"}},
        CheckCase{"NoSuchHdcpVersion", "hdcp_version = 25\n", nullptr, {"hdcp-version"}},
        CheckCase{"NoHdcp", "hdcp_version = 0\n", nullptr, {"hdcp-version"}},
        CheckCase{"HdrWithout10Bit", "mmplayer.decoder_capability = 23\n", nullptr, {"hdr"}},
        CheckCase{"TenBitWithoutHevc", "capability.hevc = 0\n", nullptr, {"hevc"}},
        CheckCase{"ZeroMac", "mac = 00:00:00:00:00:00\n", nullptr, {"device-id"}},
        CheckCase{"MulticastMac", "mac = 01:00:5e:00:00:01\n", nullptr, {"device-id"}},
        CheckCase{"LanguageOutsideTheTable", "language = 1\n", nullptr, {"device-language"}},
        CheckCase{"TwoPartLanguage", "language = 498\n", nullptr, {}},
        CheckCase{"ProxyWithPort", "proxy = gateway:65535\n", nullptr, {}},
        CheckCase{"ProxyPortTooLarge", "proxy = gateway:65536\n", nullptr, {"http-proxy"}},
        CheckCase{"ProxyPortWithoutHost", "proxy = :3128\n", nullptr, {"http-proxy"}},
        CheckCase{"SpaceInModel", "customer.model_name = OV 55U8\n", nullptr, {}},
        CheckCase{
            "ControlCharacterInModel", "customer.model_name = OV\x01\n", nullptr, {"identity"}},
        CheckCase{"EmptyChipset", "customer.chipset = \n", nullptr, {"identity"}},
        CheckCase{"BrokenConfiguration",
                  "",
                  kBrokenConfig,
                  {"device-config", "playback-flags", "fragment-cache", "update-frequency",
                   "bandwidth-file"}}),
    [](const testing::TestParamInfo<CheckCase> &p) { return p.param.name; });

// The CA location, when the variable gives one, must lead to a folder and a
// file the application can read; a machine whose memory figures contradict
// each other fails too.
TEST(Inspector, CheckLooksAtTheFilesAndTheSystem) {
    SimDevice device;
    writeText(device.dir() + "/certs/ca.pem", "certificate\n");
    const std::string path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
    struct Case {
        std::string bundle;      // CURL_CA_BUNDLE_PATH, empty for unset
        const char *freeOutput;  // the free command's output, or null for the real one
        std::set<std::string> failed;
        std::string shows = "";  // a part of the report
    };
    const Case cases[] = {
        {device.dir() + "/certs/ca.pem",
         nullptr,
         {},
         "PASS ca-bundle        CADirectoryPath=\"" + device.dir() +
             "/certs\" CABundleFileName=\"ca.pem\""},
        {device.dir() + "/certs/missing.pem", nullptr, {"ca-bundle"}},
        {device.dir() + "/nowhere/ca.pem", nullptr, {"ca-bundle"}},
        {device.dir() + "/certs", nullptr, {"ca-bundle"}},
        {"", "Mem: 1000 10 2000", {"memory"}},
        {"", "Mem: 0 0 0", {"memory"}},
        {"", "Mem: 1000 10 999", {}, "CABundleFileName=PROPERTY_UNAVAILABLE (CURL_CA"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.bundle + (k.freeOutput ? k.freeOutput : ""));
        if (k.bundle.empty()) {
            unsetenv("CURL_CA_BUNDLE_PATH");
        } else {
            setenv("CURL_CA_BUNDLE_PATH", k.bundle.c_str(), 1);
        }
        setenv("PATH", path.c_str(), 1);
        if (k.freeOutput) {
            fakeCommand(device.dir(), "free", std::string("echo '") + k.freeOutput + "'");
        }
        ProgramRun run = inspect(device, built({"--check"}));
        EXPECT_EQ(run.status, k.failed.empty() ? 0 : 1) << run.err;
        EXPECT_EQ(failedRules(run.out), k.failed) << run.out;
        EXPECT_NE(run.out.find(k.shows), std::string::npos) << run.out;
    }
    unsetenv("CURL_CA_BUNDLE_PATH");
    setenv("PATH", path.c_str(), 1);
}

// A language tag is a primary language of two or three lowercase letters
// and subtags of two to eight lowercase letters or digits; the stub answers
// every text with the tag.
TEST(Inspector, CheckJudgesTheLanguageTag) {
    const std::pair<const char *, bool> cases[] = {
        {"en", true},    {"ca-valencia", true}, {"zh-2024", true},
        {"engl", false}, {"e1", false},         {"en-a", false},
        {"en-", false},  {"EN", false},         {"en-us-abcdefghi", false},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.first);
        SimDevice device;
        ProgramRun run = inspect(device, {"--check", "--library", VELQUAR_STUB_LIBRARY},
                                 {std::string("VELQUAR_STUB_TEXT=") + k.first});
        EXPECT_EQ(failedRules(run.out).count("device-language"), k.second ? 0u : 1u) << run.out;
        EXPECT_NE(run.err.find("stub context released\n"), std::string::npos) << run.err;
    }
}

// Options are taken the way getopt_long takes them: a value after "=" or as
// the next word, a unique abbreviation, operands before options, "--"
// ending the options.
TEST(Inspector, OptionsAreReadAsGetoptLongReadsThem) {
    struct Case {
        std::vector<std::string> args;
        std::string out;  // what standard output begins with
        bool platform;    // whether the platform is asked at all
    };
    const Case cases[] = {
        {{"--version"}, "velquar-props " VELQUAR_PROJECT_VERSION "\n", false},
        {{"-h"}, "usage: velquar-props ", false},
        {{"--he"}, "usage: velquar-props ", false},
        {{"--value=panelWidth"}, "3840\n", true},
        {{"--value", "panelHeight"}, "2160\n", true},
        {{"--val", "hdcpFullVersion"}, "2.2\n", true},
        {{"--library=" VELQUAR_LIBRARY_PATH, "--value=deviceId"}, "001a2b3c4d5e\n", true},
        // The operand first, the option after it: still the JSON document.
        {{"panelWidth", "--json"}, "{\n  \"format\": 2,\n", true},
        // After "--" a word that looks like an option is a property name.
        {{"--json", "--", "-h"}, "{\n  \"format\": 2,\n", true},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.back());
        SimDevice device;
        ProgramRun run = inspect(device, k.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.rfind(k.out, 0), 0u) << run.out;
        EXPECT_EQ(device.log().empty(), !k.platform);
        if (k.args.back() == "-h" && k.platform) {
            EXPECT_NE(run.out.find("{\"name\": \"-h\", \"type\": \"-\", \"result\": "
                                   "\"PROPERTY_NOT_FOUND\""),
                      std::string::npos)
                << run.out;
        }
        if (k.args.front() == "panelWidth") {
            EXPECT_NE(run.out.find("\"name\": \"panelWidth\""), std::string::npos);
            EXPECT_EQ(run.out.find("\"name\": \"panelHeight\""), std::string::npos);
        }
    }
}

// --compare against the document of this very television, edited: one line
// per answer that differs (volatile ones apart, not counted), the summary,
// and the status telling whether anything that counts moved.
TEST(Inspector, CompareShowsExactlyTheAnswersThatMoved) {
    using nlohmann::json;
    struct Case {
        const char *what;
        std::function<void(json &)> edit;  // of the document this television gave
        std::string lines;                 // before the summary
        std::string summary;
        int status;
    };
    SimDevice device;
    fakeCommand(device.dir(), "free", "echo 'Mem: 2000 900 700'");
    const ProgramRun base = inspect(device, built({"--json"}));
    ASSERT_EQ(base.status, 0) << base.err;
    const json doc = json::parse(base.out);
    EXPECT_EQ(doc["format"], 2);
    EXPECT_EQ(doc["libraryVersion"], VELQUAR_PROJECT_VERSION);
    auto answer = [](json &d, const std::string &name) -> json & {
        for (json &p : d["properties"]) {
            if (p["name"] == name) {
                return p;
            }
        }
        throw std::runtime_error("no " + name);
    };
    auto none = [](json &) {};
    const char *const same = "49 properties compared: 0 differing, 0 volatile differing";
    const Case cases[] = {
        {"the same answers", none, "", same, 0},
        {"one value", [&](json &d) { answer(d, "panelWidth")["value"] = 1920; },
         "panelWidth: OK 1920 -> OK 3840\n",
         "49 properties compared: 1 differing, 0 volatile differing", 1},
        {"one result code",
         [&](json &d) {
             json &a = answer(d, "hdcpMajorVersion");
             a["code"] = PROPERTY_UNAVAILABLE;
             a["result"] = "PROPERTY_UNAVAILABLE";
             a["value"] = nullptr;
         },
         "hdcpMajorVersion: PROPERTY_UNAVAILABLE -> OK 2\n",
         "49 properties compared: 1 differing, 0 volatile differing", 1},
        {"one result code alone",
         [&](json &d) {
             answer(d, "CADirectoryPath")["code"] = 1;
             answer(d, "CADirectoryPath")["result"] = "0x00000001";
         },
         "CADirectoryPath: 0x00000001 -> PROPERTY_UNAVAILABLE\n",
         "49 properties compared: 1 differing, 0 volatile differing", 1},
        {"one text", [&](json &d) { answer(d, "modelName")["value"] = "OV-55U8\n"; },
         "modelName: OK \"OV-55U8\\n\" -> OK \"OV-55U8\"\n",
         "49 properties compared: 1 differing, 0 volatile differing", 1},
        {"a text with a NUL",
         [&](json &d) { answer(d, "modelName")["value"] = std::string("OV\0-55U8", 8); },
         "modelName: OK \"OV\\x00-55U8\" -> OK \"OV-55U8\"\n",
         "49 properties compared: 1 differing, 0 volatile differing", 1},
        {"a volatile value", [&](json &d) { answer(d, "availableMemory")["value"] = 1; },
         "availableMemory: OK 1 -> OK 700 (volatile, not counted)\n",
         "49 properties compared: 0 differing, 1 volatile differing", 0},
        {"a type",
         [&](json &d) {
             answer(d, "totalMemory")["type"] = "int32";
             answer(d, "availableMemory")["value"] = 1;
         },
         "totalMemory: int32 OK 2000 -> int64 OK 2000\n"
         "availableMemory: OK 1 -> OK 700 (volatile, not counted)\n",
         "49 properties compared: 1 differing, 1 volatile differing", 1},
        {"a property the old answers lack",
         [&](json &d) { d["properties"].erase(d["properties"].begin() + 35); },
         "deviceId: (absent) -> OK \"001a2b3c4d5e\"\n",
         "49 properties compared: 1 differing, 0 volatile differing", 1},
        {"a property only the old answers have",
         [&](json &d) {
             d["properties"].push_back({{"name", "retired"},
                                        {"type", "bool"},
                                        {"result", "OK"},
                                        {"code", 0},
                                        {"value", true},
                                        {"output", json::array()}});
         },
         "retired: OK true -> (absent)\n",
         "50 properties compared: 1 differing, 0 volatile differing", 1},
        // 1.4.0 wrote the same properties without these two members.
        {"a document of 1.4.0",
         [&](json &d) {
             d.erase("format");
             d.erase("libraryVersion");
         },
         "", same, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        json old = doc;
        k.edit(old);
        const std::string path = device.dir() + "/old.json";
        std::ofstream(path, std::ios::trunc) << old.dump(2);
        const ProgramRun run = inspect(device, built({"--compare", path}));
        EXPECT_EQ(run.status, k.status) << run.err;
        EXPECT_EQ(run.out, k.lines + k.summary + " (not counted)\n");
        // The note on a document without a format, and only then.
        EXPECT_EQ(run.err.find("has no format version") != std::string::npos,
                  !old.contains("format"))
            << run.err;

        const ProgramRun jsonRun = inspect(device, built({"--compare", path, "--json"}));
        EXPECT_EQ(jsonRun.status, k.status) << jsonRun.err;
        const json report = json::parse(jsonRun.out, nullptr, false);
        ASSERT_TRUE(report.is_object()) << jsonRun.out;
        EXPECT_EQ(report["format"], 2);
        EXPECT_EQ(report["oldFormat"], old.contains("format") ? 2 : 1);
        std::string names;
        for (const json &d : report["differences"]) {
            names += d["name"].get<std::string>() + (d["volatile"] == true ? "~" : "") + " ";
        }
        std::string expected;
        for (size_t at = 0; at < k.lines.size(); at = k.lines.find('\n', at) + 1) {
            const std::string line = k.lines.substr(at, k.lines.find('\n', at) - at);
            expected += line.substr(0, line.find(':')) +
                        (line.find("(volatile") != std::string::npos ? "~" : "") + " ";
        }
        // The document lists the differences in catalogue order.
        std::vector<std::string> got = words(names), want = words(expected);
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << jsonRun.out;
        EXPECT_EQ(report["differing"], k.status);
    }
    // One row's JSON in full: old and new answer as the document holds them.
    json old = doc;
    answer(old, "panelWidth")["value"] = 1920;
    std::ofstream(device.dir() + "/old.json", std::ios::trunc) << old.dump();
    const json report = json::parse(
        inspect(device, built({"--json", "--compare", device.dir() + "/old.json"})).out);
    EXPECT_EQ(report["differences"][0].dump(),
              R"({"name":"panelWidth","new":{"code":0,"result":"OK","type":"int32","value":3840},)"
              R"("old":{"code":0,"result":"OK","type":"int32","value":1920},"volatile":false})");
}

// An earlier document that cannot be used: nothing is loaded or compared,
// one line says why, status 2.
TEST(Inspector, CompareRefusesAnUnusableDocument) {
    struct Case {
        const char *what;
        std::string contents;  // of OLD.json; "DIR" makes it a folder, "NONE" leaves it out
        std::string reason;    // after "velquar-props: cannot compare with PATH: "
    };
    const std::string entry =
        R"({"name": "panelWidth", "type": "int32", "result": "OK", "code": 0, "value": 3840})";
    const Case cases[] = {
        {"missing", "NONE", "No such file or directory"},
        {"a folder", "DIR", "not a regular file"},
        {"truncated", "{\"properties\": [" + entry, "not a JSON document"},
        {"an array", "[" + entry + "]", "not a JSON object"},
        {"no answers", R"({"format": 2})", "it has no \"properties\" array"},
        {"a newer format", R"({"format": 3, "properties": []})",
         "it is of format 3, newer than this release reads (2); compare it with the velquar-props "
         "that wrote it"},
        {"format zero", R"({"format": 0, "properties": []})",
         "its \"format\" is not a format number"},
        {"a name twice", "{\"properties\": [" + entry + ", " + entry + "]}",
         "it names panelWidth twice"},
        {"an answer without a code",
         R"({"properties": [{"name": "panelWidth", "type": "int32", "value": 1}]})",
         "property 1 (panelWidth) lacks an integer code"},
        {"a value of no kind",
         R"({"properties": [{"name": "x", "type": "int32", "code": 0, "value": 1.5}]})",
         "property 1 (x) has a value of no answer's kind"},
        {"oversized", "{\"properties\": []}" + std::string(1024 * 1024, ' '),
         "larger than 1048576 bytes"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        SimDevice device;
        const std::string path = device.dir() + "/old.json";
        if (k.contents == "DIR") {
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        } else if (k.contents != "NONE") {
            std::ofstream(path) << k.contents;
        }
        const ProgramRun run = inspect(device, built({"--compare", path}));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "velquar-props: cannot compare with " + path + ": " + k.reason + "\n");
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(device.log().empty());
    }
    // Nor is a library without a context a difference.
    SimDevice device;
    const std::string path = device.dir() + "/old.json";
    std::ofstream(path) << "{\"format\": 2, \"properties\": []}";
    const ProgramRun run =
        inspect(device, {"--compare", path, "--library", VELQUAR_FAILING_LIBRARY});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(
        run.err,
        "stub library loaded\nstub library unloaded\n"
        "velquar-props: CreateDevicePropertiesProviderContext failed: PROPERTY_UNAVAILABLE\n");
    EXPECT_EQ(run.out, "");
    // Nor a library that ends the process.
    const ProgramRun ended = inspect(device, {"--compare", path, "--library", VELQUAR_STUB_LIBRARY},
                                     {"VELQUAR_STUB_EXIT=read"});
    EXPECT_EQ(ended.status, 2);
    EXPECT_NE(ended.err.find("velquar-props: the platform library ended the process during the "
                             "read of "),
              std::string::npos)
        << ended.err;
    EXPECT_EQ(ended.out, "");
}

TEST(Inspector, BadCommandLinesFailWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;  // begins a line of standard error
        std::vector<std::string> settings = {};
    };
    SimDevice holder;
    const std::string fifo = holder.dir() + "/library.so";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<Case> cases = {
        {{"--bogus"}, 2, "velquar-props: unknown option --bogus\n"},
        {{"--bogus=1"}, 2, "velquar-props: unknown option --bogus\n"},
        {{"-x"}, 2, "velquar-props: unknown option -x\n"},
        {{"-\x01"}, 2, "velquar-props: unknown option -\x01\n"},  // --version has no short form
        {{"--json=yes"}, 2, "velquar-props: --json takes no value\n"},
        {{"--version=2"}, 2, "velquar-props: --version takes no value\n"},
        {{"--library"}, 2, "velquar-props: --library needs a path\n"},
        {{"--library=/nonexistent.so"}, 1, "velquar-props: cannot load /nonexistent.so: "},
        {{"--library", "/nonexistent.so"}, 1, "velquar-props: cannot load /nonexistent.so: "},
        // velquar-sim stands beside the program in the build.
        {{"--library=/nonexistent.so"},
         1,
         "velquar-props: cannot load /nonexistent.so: /nonexistent.so: cannot open shared object "
         "file: No such file or directory (on the simulated television: velquar-sim velquar-props "
         "...)\n"},
        // Loads, but lacks the six functions: nothing of it is called.
        {{"--library", VELQUAR_NO_EXPORTS_LIBRARY},
         1,
         "velquar-props: CreateDevicePropertiesProviderContext: "},
        {{"--value"}, 2, "velquar-props: --value needs a property name\n"},
        {{"--json", "--value", "panelWidth"}, 2, "velquar-props: --value reads one property"},
        {{"--value", "panelWidth", "panelHeight"}, 2, "velquar-props: --value reads one property"},
        // Refused at once: the loader would wait for a writer for ever.
        {{"--library", fifo}, 1, "velquar-props: cannot load " + fifo + ": not a regular file\n"},
        {{"--library", VELQUAR_FAILING_LIBRARY},
         1,
         "velquar-props: CreateDevicePropertiesProviderContext failed: PROPERTY_UNAVAILABLE\n"},
        {{"--list", "--value", "panelWidth"}, 2, "velquar-props: --value reads one property"},
        {{"--list", "panelWidth"}, 2, "velquar-props: --list prints the whole catalogue"},
        {{"--l"}, 2, "velquar-props: ambiguous option --l\n"},
        {{"--list=all"}, 2, "velquar-props: --list takes no value\n"},
        {{"--check", "panelWidth"},
         2,
         "velquar-props: --check reads every property, without names"},
        {{"--check", "--list"}, 2, "velquar-props: --list prints the whole catalogue"},
        {{"--check", "--value", "deviceId"}, 2, "velquar-props: --value reads one property"},
        {{"--che=1"}, 2, "velquar-props: --check takes no value\n"},
        {{"--compare"}, 2, "velquar-props: --compare needs a file\n"},
        {{"--compare", "old.json", "panelWidth"},
         2,
         "velquar-props: --compare reads every property, without --check, --list or names\n"},
        {{"--compare", "old.json", "--check"}, 2, "velquar-props: --compare reads every property"},
        {{"--compare", "old.json", "--value", "deviceId"},
         2,
         "velquar-props: --value reads one property"},
    };
    // A library that ends the process has not passed anything.
    const std::string ended = "velquar-props: the platform library ended the process during ";
    for (const auto &[mode, step, during] : std::vector<std::array<std::string, 3>>{
             {"--check", "load", "the load of " + std::string(VELQUAR_STUB_LIBRARY) + "\n"},
             {"--json", "load", "the load of "},
             {"--check", "create", "CreateDevicePropertiesProviderContext\n"},
             {"--json", "read", "the read of "},
             {"--json", "release", "ReleaseDevicePropertiesProviderContext\n"},
             {"--check", "unload", "the unload of the library\n"}}) {
        cases.push_back({{mode, "--library", VELQUAR_STUB_LIBRARY},
                         1,
                         ended + during,
                         {"VELQUAR_STUB_EXIT=" + step}});
    }
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.back());
        SimDevice device;
        ProgramRun run = inspect(device, k.args, k.settings);
        EXPECT_EQ(run.status, k.status);
        EXPECT_NE(("\n" + run.err).find("\n" + k.message), std::string::npos) << run.err;
        // Any other failure: no line of the program's after its own.
        const std::string err = "\n" + run.err;
        EXPECT_TRUE(k.status == 2 || err.find("\nvelquar-props: ",
                                              err.find("\n" + k.message) + 1) == std::string::npos)
            << run.err;
        // A usage error: its line and the way to the help, nothing more.
        const std::string tryHelp = "Try 'velquar-props --help' for more information.\n";
        EXPECT_EQ(
            run.err.size() > tryHelp.size() &&
                std::count(run.err.begin(), run.err.end(), '\n') == 2 &&
                run.err.compare(run.err.size() - tryHelp.size(), tryHelp.size(), tryHelp) == 0,
            k.status == 2)
            << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(device.log().empty());
    }
}

// A preloaded capability query replaces the stand-in's: the library reaches
// the platform through the dynamic linker, as it must for the vendor's
// libraries to drop in.
TEST(Inspector, PreloadedPlatformCallIsTheOneThatAnswers) {
    SimDevice device;
    ProgramRun run =
        inspect(device, built({"panelWidth", "panelHeight", "displayWidth", "supportsUHD"}),
                {preloadSetting(VELQUAR_PRELOAD_PATH)});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto table = rows(run.out);
    ASSERT_EQ(table.size(), 4u) << run.out << run.err;
    EXPECT_EQ(table[0], row({"panelWidth", "int32", "OK", "1280"}));
    EXPECT_EQ(table[1], row({"panelHeight", "int32", "OK", "720"}));
    EXPECT_EQ(table[2], row({"displayWidth", "int32", "OK", "1920"}));
    EXPECT_EQ(table[3], row({"supportsUHD", "bool", "OK", "false"}));
    EXPECT_TRUE(device.calls("AppIpcApi_QueryPlatformAllCapability ").empty());
    EXPECT_EQ(device.calls("AppIpcApi_GetHDCPVersion ").size(), 1u);
}

// What a vendor's library prints when it is loaded and unloaded never
// reaches standard output around the document or the value: in the JSON
// document it is among the top-level lines, otherwise on standard error.
// The context's own lines stay where each mode puts them.
TEST(Inspector, LinesPrintedAtLoadAndUnloadStayOffTheOutput) {
    struct Case {
        std::vector<std::string> args;
        std::string out;  // all of standard output, or a part of it with the table
        std::vector<std::string> errLines;
    };
    const std::string loaded = "stub library loaded\n", unloaded = "stub library unloaded\n";
    const Case cases[] = {
        // A library without a version note: null.
        {{"--json", "panelWidth", "totalMemory"},
         "{\n  \"format\": 2,\n  \"libraryVersion\": null,\n"
         "  \"output\": [\"stub library loaded\", \"stub context created\", "
         "\"stub context released\", \"stub library unloaded\"],\n  \"properties\": [\n"
         "    {\"name\": \"panelWidth\", \"type\": \"int32\", \"result\": \"OK\", \"code\": 0, "
         "\"value\": 3840, \"output\": []},\n    {\"name\": \"totalMemory\", \"type\": \"int64\", "
         "\"result\": \"PROPERTY_INVALID_ARGUMENT\", \"code\": -2147483642, \"value\": null, "
         "\"output\": []}\n  ]\n}\n",
         {}},
        {{"--value", "panelWidth"}, "3840\n", {loaded, "stub context created\n", unloaded}},
        {{"panelWidth"}, "stub context created\nPROPERTY ", {loaded, unloaded}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.front());
        SimDevice device;
        std::vector<std::string> args = {"--library", VELQUAR_STUB_LIBRARY};
        args.insert(args.end(), k.args.begin(), k.args.end());
        ProgramRun run = inspect(device, args);
        EXPECT_EQ(run.status, 0) << run.err;
        if (k.args.size() == 1) {
            EXPECT_EQ(run.out.rfind(k.out, 0), 0u) << run.out;
            EXPECT_EQ(run.out.find("stub library"), std::string::npos) << run.out;
            EXPECT_NE(run.out.find("\nstub context released\n"), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(run.out, k.out);
        }
        for (const std::string &line : k.errLines) {
            EXPECT_NE(("\n" + run.err).find("\n" + line), std::string::npos) << line << run.err;
        }
    }
}

// Standard output that cannot take the output: a message and status 1 in
// every mode. A file-size limit of 0 costs only the capture of the
// library's lines, which then go to standard error, and the document says so.
TEST(Inspector, OutputThatCannotBeWrittenIsAFailure) {
    struct Case {
        const char *prefix;  // shell text before the program
        std::vector<std::string> args;
        int status;
        std::string errLine;  // begins a line of standard error
        std::string out;      // a part of standard output
        std::vector<std::string> settings = {};
    };
    SimDevice device;
    const std::string input = device.dir() + "/input";
    writeText(input, "standard input\n");
    const std::string full = "velquar-props: write error on standard output";
    const Case cases[] = {
        {"", {"--json", ">/dev/full"}, 1, full + ": No space left on device\n", ""},
        {"", {"panelWidth", ">/dev/full"}, 1, full, ""},
        {"", {"--value", "panelWidth", ">/dev/full"}, 1, full + ": No space left on device\n", ""},
        {"", {"--help", ">/dev/full"}, 1, full + ": No space left on device\n", ""},
        // Standard error joins standard output in the pipe, which no limit
        // holds; the library's lines come before the document.
        {"{ ulimit -f 0; exec ",
         {"--json", "platformPackageVersion", "2>&1;", "}"},
         0,
         "Orvane Palomir config path: ",
         "\n  \"note\": \"the library's lines cannot be stored (File too large): they went to "
         "standard error\",\n  \"properties\": [\n    {\"name\": \"platformPackageVersion\", "
         "\"type\": \"string\", \"result\": \"OK\", \"code\": 0, \"value\": "
         "\"6.2.1-velquar.20261201\", \"output\": []}\n  ]\n}\n"},
        // No file to take the lines at all: they go to standard error, and
        // no other descriptor (standard input, read-write here) stands in.
        {"",
         {"--json", "platformPackageVersion", "<>" + input},
         0,
         "Orvane Palomir config path: ",
         "\n  \"note\": \"the library's lines cannot be stored (Read-only file system): they "
         "went to standard error\",\n  \"properties\": [\n",
         {preloadSetting(VELQUAR_NO_FILE_PRELOAD_PATH)}},
        // Standard input closed: the file that takes the lines is descriptor 0.
        {"",
         {"--json", "platformPackageVersion", "<&-"},
         0,
         "",
         "\"output\": [\"Orvane Palomir config path: "},
        // Without standard error there is nowhere to set standard output
        // aside to: a failure all the same.
        {"{ exec ", {"--json", "2>&-;", "}"}, 1, "", ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.front());
        std::string command =
            k.prefix + inspectorCommand(k.settings) + " --library " + VELQUAR_LIBRARY_PATH;
        for (const std::string &a : k.args) {
            command += " " + a;
        }
        ProgramRun run = runCommand(command, device.dir() + "/stderr");
        EXPECT_EQ(run.status, k.status) << run.err;
        const std::string errText = *k.prefix ? run.out : run.err;
        EXPECT_NE(("\n" + errText).find("\n" + k.errLine), std::string::npos) << errText;
        EXPECT_NE(run.out.find(k.out), std::string::npos) << run.out;
    }
    std::ifstream kept(input);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "standard input\n");
    // Closing it fails after a flush that did not, as where a write error
    // comes only at close (NFS): a failure too.
    if (seccompFilters()) {
        const std::string out = runProgram(VELQUAR_PROPS_PATH, {"--help"}, 1, "",
                                           [] { refuseCall(__NR_close, 0, 1, true, EIO); });
        EXPECT_NE(out.find("\n" + full + ": Input/output error\n"), std::string::npos) << out;
        // Writes to descriptor 1 fail: the library's lines are lost, and the
        // document, written elsewhere, says so.
        const std::string lost = runProgram(
            VELQUAR_PROPS_PATH, {"--json", "panelWidth", "--library", VELQUAR_STUB_LIBRARY}, 0, "",
            [] { refuseCall(__NR_write, 0, 1, true, EIO); });
        EXPECT_NE(lost.find("\"note\": \"some of the library's lines could not be stored and are "
                            "lost; the later ones went to standard error\""),
                  std::string::npos)
            << lost;
    }
}
