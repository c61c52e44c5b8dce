// The velquar-props inspector, run as a process against the built library
// and the stand-ins.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <algorithm>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "emulator.h"
#include "refuse_call.h"
#include "sim_device.h"

using namespace velquar_test;
using nlohmann::json;

namespace {

// The lines of text, or with byWord its words.
std::vector<std::string> split(const std::string &text, bool byWord) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; byWord ? bool(in >> w) : bool(std::getline(in, w));) {
        out.push_back(w);
    }
    return out;
}
std::vector<std::string> lines(const std::string &text) {
    return split(text, false);
}
std::vector<std::string> words(const std::string &text) {
    return split(text, true);
}

// Runs the inspector with args (shell words) and NAME=VALUE settings in its
// environment, which names the device's state and log.
ProgramRun inspect(const SimDevice &device, const std::string &args,
                   const std::string &settings = "") {
    return runCommand(inspectorCommand(words(settings)) + " " + args, device.dir() + "/stderr");
}

// The inspector's name of each type, in the order of Type.
const char *const kTypeWords[] = {"bool", "int32", "int64", "string"};
const char *typeWord(const Property &p) {
    return kTypeWords[static_cast<int>(p.type)];
}

// The rows of the table output, each a line that starts with a catalogue
// name or the given extra name, its words joined by one blank; the
// library's own lines are left out.
std::vector<std::string> rows(const std::string &out, const std::string &extra = "") {
    std::vector<std::string> found;
    for (const std::string &line : lines(out)) {
        std::string row;
        for (const std::string &word : words(line)) {
            row += (row.empty() ? "" : " ") + word;
        }
        const std::string first = row.substr(0, row.find(' '));
        bool known = !row.empty() && first == extra;
        for (const Property &p : catalogue()) {
            known = known || first == p.name;
        }
        if (known) {
            found.push_back(row);
        }
    }
    return found;
}

// Arguments that load the library of this build, or the stub, by its path.
const std::string kBuilt = "--library " VELQUAR_LIBRARY_PATH " ";
const std::string kStub = "--library " VELQUAR_STUB_LIBRARY " ";

// Whether text is what pattern shows, "…" in it standing for any text.
bool fits(const std::string &text, const std::string &pattern) {
    const std::string any = "…";
    size_t cut = pattern.find(any), at = cut, from = cut + any.size();
    if (cut == std::string::npos || text.compare(0, cut, pattern, 0, cut) != 0) {
        return text == pattern;  // no "…" in it, or a start that differs
    }
    for (; (cut = pattern.find(any, from)) != std::string::npos; from = cut + any.size()) {
        at = text.find(pattern.substr(from, cut - from), at);
        if (at == std::string::npos) {
            return false;
        }
        at += cut - from;
    }
    const size_t rest = pattern.size() - from;
    return text.size() >= at + rest &&
           text.compare(text.size() - rest, rest, pattern, from, rest) == 0;
}

// A run of the inspector on a device of its own, and what it must give.
struct Call {
    std::string args;  // shell words
    int status;
    std::string out;  // standard output, as a pattern of fits()
    std::string err;  // standard error, likewise
    bool platform;    // whether the platform is asked at all
    std::string state = "";
    std::string settings = "";  // NAME=VALUE words for the program's environment
    std::string prefix = "";    // shell text before the program
};

void expectCalls(const std::vector<Call> &calls) {
    for (const Call &k : calls) {
        SCOPED_TRACE(k.args);
        SimDevice device(k.state);
        const ProgramRun run =
            runCommand(k.prefix + inspectorCommand(words(k.settings)) + " " + k.args,
                       device.dir() + "/stderr");
        EXPECT_EQ(run.status, k.status) << run.err;
        EXPECT_TRUE(fits(run.out, k.out)) << run.out;
        EXPECT_TRUE(fits(run.err, k.err)) << run.err;
        EXPECT_EQ(device.log().empty(), !k.platform);
    }
}

void writeText(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The state of a profile in simulator/profiles, or text itself when it is
// not a profile's name.
std::string profileState(const std::string &text) {
    if (text.size() < 6 || text.compare(text.size() - 6, 6, ".state") != 0) {
        return text;
    }
    const std::string state = readFile(std::string(VELQUAR_PROFILES_DIR) + "/" + text);
    EXPECT_FALSE(state.empty()) << text;
    return state;
}

}  // namespace

// Without --library the inspector finds the library beside itself.
TEST(Inspector, PrintsTheHeaderAndOneRowPerProperty) {
    SimDevice device;
    ProgramRun run = inspect(device, "");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(words(run.out.substr(0, run.out.find('\n'))), words("PROPERTY TYPE RESULT VALUE"));
    const auto table = rows(run.out);
    ASSERT_EQ(table.size(), 49u) << run.out;
    for (size_t n = 0; n < table.size(); ++n) {
        const Property &p = catalogue()[n];
        // The inspector reads each property with the function of its type.
        EXPECT_EQ(table[n].rfind(p.name + std::string(" ") + typeWord(p) + " ", 0), 0u);
        EXPECT_EQ(table[n].find(" PROPERTY_NOT_FOUND"), std::string::npos) << table[n];
        EXPECT_EQ(table[n].find(" PROPERTY_TYPE_MISMATCH"), std::string::npos) << table[n];
    }
    EXPECT_EQ(table[8], "supportsUHD bool OK true");
    EXPECT_EQ(table[21], "panelWidth int32 OK 3840");

    // Named properties get their rows alone.
    device.setState("hdcp_version = 0\n");
    run = inspect(device, kBuilt + "panelWidth hdcpMajorVersion noSuchProperty");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(rows(run.out, "noSuchProperty"),
              lines("panelWidth int32 OK 3840\nhdcpMajorVersion int32 PROPERTY_UNAVAILABLE\n"
                    "noSuchProperty - PROPERTY_NOT_FOUND\n"));

    // A preloaded capability query replaces the stand-in's: the library
    // reaches the platform through the dynamic linker, as it must for the
    // vendor's libraries to drop in.
    SimDevice preloaded;
    run = inspect(preloaded, kBuilt + "panelWidth panelHeight displayWidth supportsUHD",
                  preloadSetting(VELQUAR_PRELOAD_PATH));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(rows(run.out), lines("panelWidth int32 OK 1280\npanelHeight int32 OK 720\n"
                                   "displayWidth int32 OK 1920\nsupportsUHD bool OK false\n"))
        << run.out << run.err;
    EXPECT_TRUE(preloaded.calls("AppIpcApi_QueryPlatformAllCapability ").empty());
    EXPECT_EQ(preloaded.calls("AppIpcApi_GetHDCPVersion ").size(), 1u);

    // osName keeps the command's line feed; the table shows it as an
    // escape, so the row stays one line.
    run = inspect(device, kBuilt + "osName");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
    EXPECT_TRUE(fits(run.out, "PROPERTY …\nosName …\\n\n")) << run.out;
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
    for (const std::string &line : lines(printed)) {
        out += (out.empty() ? "" : ",") + hexText(line);
    }
    return out.empty() ? "-" : out;
}

// What the document should say of p: the same read through the library in
// this process, on the same device, in the same order.
std::string expectedLine(DevicePropertiesProviderContext *ctx, const Property &p) {
    int rc = 0;
    std::string value;
    const std::string printed = captureStdout([&] {
        if (p.type == Type::Bool) {
            const auto r = readBool(ctx, p.name);
            rc = r.rc, value = r.value ? "true" : "false";
        } else if (p.type == Type::Int32) {
            const auto r = readInt32(ctx, p.name);
            rc = r.rc, value = std::to_string(r.value);
        } else if (p.type == Type::Int64) {
            const auto r = readInt64(ctx, p.name);
            rc = r.rc, value = std::to_string(r.value);
        } else {
            const auto r = readString(ctx, p.name, 8192);
            rc = r.rc, value = hexText(r.value);
        }
    });
    return std::string(p.name) + " " + typeWord(p) + " " + std::to_string(rc) + " " +
           (rc == PROPERTY_OK ? value : "-") + " " + hexLines(printed);
}

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

// A profile in simulator/profiles, or null for the hostile device above.
class InspectorJson : public testing::TestWithParam<const char *> {};

TEST_P(InspectorJson, DocumentHoldsWhatTheLibraryAnswersAndPrints) {
    const bool hostile = !GetParam();
    SimDevice device(hostile ? "" : profileState(GetParam()));
    if (hostile) {
        const std::string config = device.dir() + "/conf\xff\x01ig.ini";
        std::ofstream(config) << "[Device]\nPlatformPackageVersion = " << kHostile
                              << "\nDeviceTypeId = " << kHostile
                              << "\n[PlaybackMisc]\nFragmentCacheMountPoint = " << kHostile
                              << "\n[Network]\nBandwidthEstimateFilePath = " << kHostile << "\n";
        std::string state =
            "config_path = " + config +
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
    ProgramRun run = inspect(device, kBuilt + "--json");
    creation.join();
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(ctx->rc(), PROPERTY_OK);
    // The profiles and the hostile device use only keys the stand-ins know.
    EXPECT_EQ(run.err.find("velquar simulator:"), std::string::npos) << run.err;
    const std::string document = device.dir() + "/document.json";
    std::ofstream(document) << run.out;
    if (hostile) {
        EXPECT_NE(run.out.find("{\"name\": \"platformPackageVersion\", \"type\": \"string\", "
                               "\"result\": \"OK\", \"code\": 0, \"value\": " +
                               std::string(kHostileJson) + ", "),
                  std::string::npos)
            << run.out;
        // Bytes that are not UTF-8 come back from the document as they went in.
        const ProgramRun again = inspect(device, kBuilt + "--compare " + document);
        EXPECT_EQ(again.status, 0) << again.out;
        EXPECT_TRUE(fits(again.out, "…49 properties compared: 0 differing…")) << again.out;
    }
    setenv("VELQUAR_JSON_SUMMARY", kJsonSummary, 1);
    const ProgramRun python = runCommand("python3 -c \"$VELQUAR_JSON_SUMMARY\" " + document,
                                         device.dir() + "/python.err");
    ASSERT_EQ(python.status, 0) << python.err << "\n" << run.out;
    const std::vector<std::string> summary = lines(python.out);
    ASSERT_EQ(summary.size(), 1 + catalogue().size());
    for (size_t n = 0; n < catalogue().size(); ++n) {
        const std::string expected = expectedLine(ctx->get(), catalogue()[n]);
        if (strcmp(catalogue()[n].name, "availableMemory") != 0) {  // changes every moment
            EXPECT_EQ(summary[n + 1], expected);
        }
    }
    created += captureStdout([&] { ctx->release(); });
    EXPECT_EQ(summary[0], hexLines(created));
}

INSTANTIATE_TEST_SUITE_P(Profiles, InspectorJson,
                         testing::Values("4k-hdr.state", "1080p-wifi.state",
                                         "wrong-input-source.state", "all-fail.state", nullptr));

// --value: the value alone on standard output, the library's lines and the
// failure on standard error, the status telling a failed read from an
// unknown name. What a vendor's library prints when it is loaded and
// unloaded never reaches standard output around the document or the value:
// in the JSON document it is among the top-level lines, otherwise on
// standard error. The context's own lines stay where each mode puts them.
TEST(Inspector, OutputHoldsTheAnswersAndNothingElse) {
    const std::string value = kBuilt + "--value ";
    expectCalls({
        {value + "platformPackageVersion", 0, "6.2.1-velquar.20261201\n",
         "…Orvane Palomir config path: …", true},
        {value + "modelName", 0, "OV\x01\xff\\55\n", "…", true,
         "customer.model_name = OV\x01\xff\\55\n"},
        {value + "panelWidth", 0, "3840\n", "…", true},
        {value + "supportsUHD", 0, "true\n", "…", true},
        {value + "hdcpMajorVersion", 3, "",
         "…velquar-props: hdcpMajorVersion: PROPERTY_UNAVAILABLE\n…", true, "hdcp_version = 0\n"},
        {value + "noSuchProperty", 4, "", "…velquar-props: noSuchProperty: PROPERTY_NOT_FOUND\n…",
         true},
        // A library without a version note: null.
        {kStub + "--json panelWidth totalMemory", 0,
         "{\n  \"format\": 2,\n  \"libraryVersion\": null,\n"
         "  \"output\": [\"stub library loaded\", \"stub context created\", "
         "\"stub context released\", \"stub library unloaded\"],\n  \"properties\": [\n"
         "    {\"name\": \"panelWidth\", \"type\": \"int32\", \"result\": \"OK\", \"code\": 0, "
         "\"value\": 3840, \"output\": []},\n    {\"name\": \"totalMemory\", \"type\": \"int64\", "
         "\"result\": \"PROPERTY_INVALID_ARGUMENT\", \"code\": -2147483642, \"value\": null, "
         "\"output\": []}\n  ]\n}\n",
         "", false},
        {kStub + "--value panelWidth", 0, "3840\n",
         "stub library loaded\nstub context created\nstub context released\nstub library "
         "unloaded\n",
         false},
        {kStub + "panelWidth", 0, "stub context created\nPROPERTY …\nstub context released\n",
         "stub library loaded\nstub library unloaded\n", false},
    });
}

// --list names every property with its type, in catalogue order, from the
// program alone: no library is loaded and the platform is not asked.
TEST(Inspector, ListNamesTheCatalogueWithoutAContext) {
    std::string table, document = "{\n  \"properties\": [\n";
    for (size_t n = 0; n < catalogue().size(); ++n) {
        const Property &p = catalogue()[n];
        table += p.name + std::string(" ") + typeWord(p) + "\n";
        document += std::string("    {\"name\": \"") + p.name + "\", \"type\": \"" + typeWord(p) +
                    "\"}" + (n + 1 < catalogue().size() ? ",\n" : "\n");
    }
    document += "  ]\n}\n";
    for (const std::string args :
         {"--list", "--list --library /nonexistent.so", "--json --list", "-q --list --json"}) {
        SCOPED_TRACE(args);
        SimDevice device;
        ProgramRun run = inspect(device, args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(device.log().empty());
        // Name and type, separated by blanks for the eye.
        std::string joined;
        for (const std::string &line : lines(run.out)) {
            const std::vector<std::string> w = words(line);
            joined += (w.size() == 2 ? w[0] + " " + w[1] : line) + "\n";
        }
        const bool asJson = args.find("--json") != std::string::npos;
        EXPECT_EQ(asJson ? run.out : joined, asJson ? document : table);
    }
}

// The note that creation waits for the platform reaches a person at a
// terminal once a second has passed, and nobody else.
const char *const kOnTerminal = R"(
import os, pty, subprocess, sys
master, slave = pty.openpty()
child = subprocess.Popen(sys.argv[1:], stderr=slave)
os.close(slave)
def read():
    try: return os.read(master, 4096)
    except OSError: return b''
sys.stderr.write(b''.join(iter(read, b'')).decode('utf-8', 'replace'))
sys.exit(child.wait())
)";

TEST(Inspector, WaitingNoteOnlyForASlowPlatformAndATerminal) {
    // Seven pauses of 200 ms before the expected input source.
    const char kSlow[] = "input_source = 45, 45, 45, 45, 45, 45, 45, 34\n";
    // The state, the words before the inspector's, its option, whether the note comes.
    const std::string terminal = "python3 -c \"$VELQUAR_ON_TERMINAL\" ";
    const std::tuple<const char *, std::string, const char *, bool> cases[] = {
        {kSlow, terminal, "", true},
        {kSlow, terminal, "-q", false},
        {kSlow, terminal, "--quiet", false},
        {"", terminal, "", false},
        {kSlow, "", "", false},
    };
    setenv("VELQUAR_ON_TERMINAL", kOnTerminal, 1);
    for (const auto &[state, before, option, note] : cases) {
        SCOPED_TRACE(before + option + state);
        SimDevice device(state);
        ProgramRun run = runCommand(
            before + inspectorCommand() + " " + option + " " + kBuilt + "--value panelWidth",
            device.dir() + "/stderr");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "3840\n");
        EXPECT_EQ(fits(run.err, "…velquar-props: waiting for the platform…"), note) << run.err;
        EXPECT_EQ(device.calls("AppIpcApi_GetCurrentInputSource ").size(), *state ? 8u : 1u);
    }
}

// The bring-up check's rules, in the order the report gives them.
const std::vector<std::string> kRules = words(
    "panel-size hdcp-version hdr hevc device-id device-language http-proxy memory "
    "device-config playback-flags fragment-cache update-frequency bandwidth-file ca-bundle "
    "identity");

// The rules the report fails, separated by blanks, after checking that it
// names every rule once, in order, with PASS or FAIL and ends with the right
// summary.
std::string failedRules(const std::string &report) {
    std::vector<std::string> named;
    std::string failed;
    size_t count = 0;
    for (const std::string &line : lines(report)) {
        const std::vector<std::string> w = words(line);
        if (w.size() >= 2 && (w[0] == "PASS" || w[0] == "FAIL")) {
            named.push_back(w[1]);
            if (w[0] == "FAIL") {
                failed += (count++ ? " " : "") + w[1];
            }
        }
    }
    EXPECT_EQ(named, kRules) << report;
    EXPECT_TRUE(fits(report, "…\n" + std::to_string(kRules.size()) +
                                 " rules: " + std::to_string(kRules.size() - count) + " passed, " +
                                 std::to_string(count) + " failed\n"))
        << report;
    return failed;
}

struct CheckCase {
    const char *name;
    const char *state;   // a profile file name, or state text
    const char *config;  // the application's configuration file, or null for the sample
    std::string failed;  // the rules failed, separated by blanks
};

class InspectorCheck : public testing::TestWithParam<CheckCase> {};

// A correct television passes every rule; each fault of a vendor library
// or a configuration fails the rule it breaks, and only that.
TEST_P(InspectorCheck, JudgesTheAnswers) {
    const CheckCase &k = GetParam();
    SimDevice device(profileState(k.state));
    if (k.config) {
        writeText(device.dir() + "/app.ini", k.config);
        device.setState(profileState(k.state) + "config_path = " + device.dir() + "/app.ini\n");
    }
    // The document says the same, the library's lines inside it; the two
    // wait for the platform at the same time.
    ProgramRun document;
    std::thread inJson([&] {
        document = runCommand(inspectorCommand() + " " + kBuilt + "--check --json",
                              device.dir() + "/json.err");
    });
    ProgramRun run = inspect(device, kBuilt + "--check");
    inJson.join();
    EXPECT_EQ(run.status, k.failed.empty() ? 0 : 1) << run.err;
    EXPECT_EQ(failedRules(run.out), k.failed) << run.out;
    EXPECT_EQ(document.status, run.status) << document.err;
    const json doc = json::parse(document.out, nullptr, false);
    ASSERT_TRUE(doc.is_object()) << document.out;
    // The document as a report of lines, to be judged as the report is.
    std::string said;
    for (const json &r : doc["rules"]) {
        said += r["result"].get<std::string>() + " " + r["rule"].get<std::string>() + "\n";
        for (const json &v : r["values"]) {
            EXPECT_TRUE(v["result"] == "OK" || v["value"].is_null()) << v;
        }
    }
    said += std::to_string(kRules.size()) + " rules: " + doc["passed"].dump() + " passed, " +
            doc["failed"].dump() + " failed\n";
    EXPECT_EQ(failedRules(said), k.failed) << document.out;
    // The library's lines are in it: at least the one naming the
    // configuration file.
    EXPECT_GT(doc["output"].size(), 0u) << document.out;
}

const char kBrokenConfig[] =
    "[Device]\nPlatformPackageVersion = 6.2\nDeviceMode = Prod\nDeviceTypeId = TV\n"
    "[PlaybackEncoding]\nsupportsIntraChunkSeeking = true\nsupportsCVBR = false\n"
    "supportsSurround = true\n[PlaybackAudio]\nsupportsAudioCodecSwitching = false\n"
    "[PlaybackExternalOutput]\nhasExternalOutput = false\n"
    "[PlaybackMisc]\nFragmentCacheSize = 0\nUpdateFrequency = 0\n"
    "FragmentCacheMountPoint = /cache\n[Network]\nBandwidthEstimateFilePath = bandwidth.dat\n";

// The sample configuration of a television in development mode.
const char kDevelopmentConfig[] =
    "[Device]\nPlatformPackageVersion = 6.2\nDeviceMode = dev\nDeviceTypeId = TV\n"
    "[PlaybackMisc]\nFragmentCacheSize = 65536\nUpdateFrequency = 86400\n"
    "FragmentCacheMountPoint = /cache\n[Network]\nBandwidthEstimateFilePath = /bandwidth.dat\n";

const CheckCase kTelevisions[] = {
    {"Default", "", nullptr, ""},
    {"Uhd", "4k-hdr.state", nullptr, ""},
    {"FullHd", "1080p-wifi.state", nullptr, ""},
    {"AllFail", "all-fail.state", nullptr,
     "panel-size hdcp-version hdr hevc device-id device-language device-config playback-flags "
     "fragment-cache update-frequency bandwidth-file identity"},
    {"NoPanel", "capability.panel_width = 0\ncapability.panel_height = 0\n", nullptr, "panel-size"},
    {"HugePanel", "capability.panel_width = 983040\n", nullptr, "panel-size"},
    {"NoPanelHeight", "capability.panel_height = 0\n", nullptr, "panel-size"},
    {"NoSuchHdcpVersion", "hdcp_version = 25\n", nullptr, "hdcp-version"},
    {"NoHdcp", "hdcp_version = 0\n", nullptr, "hdcp-version"},
    {"HdrWithout10Bit", "mmplayer.decoder_capability = 23\n", nullptr, "hdr"},
    {"TenBitWithoutHevc", "capability.hevc = 0\n", nullptr, "hevc"},
    {"ZeroMac", "mac = 00:00:00:00:00:00\n", nullptr, "device-id"},
    {"MulticastMac", "mac = 01:00:5e:00:00:01\n", nullptr, "device-id"},
    {"LanguageOutsideTheTable", "language = 1\n", nullptr, "device-language"},
    {"TwoPartLanguage", "language = 498\n", nullptr, ""},
    {"ProxyWithPort", "proxy = gateway:65535\n", nullptr, ""},
    {"ProxyPortTooLarge", "proxy = gateway:65536\n", nullptr, "http-proxy"},
    {"ProxyPortWithoutHost", "proxy = :3128\n", nullptr, "http-proxy"},
    {"SpaceInModel", "customer.model_name = OV 55U8\n", nullptr, ""},
    {"ControlCharacterInModel", "customer.model_name = OV\x01\n", nullptr, "identity"},
    {"EmptyChipset", "customer.chipset = \n", nullptr, "identity"},
    {"BrokenConfiguration", "", kBrokenConfig,
     "device-config playback-flags fragment-cache update-frequency bandwidth-file"},
    {"DevelopmentMode", "", kDevelopmentConfig, "playback-flags"},
};
INSTANTIATE_TEST_SUITE_P(Televisions, InspectorCheck, testing::ValuesIn(kTelevisions),
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
        std::string failed;
        std::string shows = "";  // a part of the report
    };
    const Case cases[] = {
        {device.dir() + "/certs/ca.pem", nullptr, "",
         "PASS ca-bundle        CADirectoryPath=\"" + device.dir() +
             "/certs\" CABundleFileName=\"ca.pem\""},
        {device.dir() + "/certs/missing.pem", nullptr, "ca-bundle"},
        {device.dir() + "/nowhere/ca.pem", nullptr, "ca-bundle"},
        {device.dir() + "/certs", nullptr, "ca-bundle"},
        {"", "Mem: 1000 10 2000", "memory"},
        {"", "Mem: 0 0 0", "memory"},
        {"", "Mem: 1000 10 999", "", "CABundleFileName=PROPERTY_UNAVAILABLE (CURL_CA"},
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
        ProgramRun run = inspect(device, kBuilt + "--check");
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
    for (const std::string &tag :
         words("en ca-valencia zh-2024 engl e1 en-a en- EN en-us-abcdefghi")) {
        SCOPED_TRACE(tag);
        SimDevice device;
        ProgramRun run = inspect(device, kStub + "--check", "VELQUAR_STUB_TEXT=" + tag);
        const bool good = tag == "en" || tag == "ca-valencia" || tag == "zh-2024";
        EXPECT_EQ(fits(" " + failedRules(run.out) + " ", "… device-language …"), !good);
        EXPECT_NE(run.err.find("stub context released\n"), std::string::npos) << run.err;
    }
}

// Options are taken the way getopt_long takes them: a value after "=" or as
// the next word, a unique abbreviation, operands before options, "--"
// ending the options. Help and version need no platform.
TEST(Inspector, OptionsAreReadAsGetoptLongReadsThem) {
    const std::string document = "{\n  \"format\": 2,\n…\n  \"properties\": [\n    {\"name\": ";
    expectCalls({
        {"--version", 0, "velquar-props " VELQUAR_PROJECT_VERSION "\n", "", false},
        {"--help", 0, "usage: velquar-props …", "", false},
        {"-h", 0, "usage: velquar-props …", "", false},
        {"--he", 0, "usage: velquar-props …", "", false},
        {"--value=panelWidth", 0, "3840\n", "…", true},
        {"--value panelHeight", 0, "2160\n", "…", true},
        {"--val hdcpFullVersion", 0, "2.2\n", "…", true},
        {"--library=" VELQUAR_LIBRARY_PATH " --value=deviceId", 0, "001a2b3c4d5e\n", "…", true},
        // The operand first, the option after it: still the JSON document,
        // of that property alone.
        {"panelWidth --json", 0,
         document + "\"panelWidth\", \"type\": \"int32\", \"result\": \"OK\", \"code\": 0, "
                    "\"value\": 3840, \"output\": []}\n  ]\n}\n",
         "…", true},
        // After "--" a word that looks like an option is a property name.
        {"--json -- -h", 0,
         document + "\"-h\", \"type\": \"-\", \"result\": \"PROPERTY_NOT_FOUND\", …}\n  ]\n}\n",
         "…", true},
    });
}

// Edits a document of answers by words WHERE=VALUE, the value in JSON:
// "NAME.MEMBER" is a member of the answer named NAME, "NAME" the whole answer
// (null takes it out, an answer the document lacks is added) and "/MEMBER" a
// member of the document, taken out.
void edit(json &doc, const std::string &edits) {
    for (const std::string &e : words(edits)) {
        const std::string where = e.substr(0, e.find('=')), name = where.substr(0, where.find('.'));
        const json value = json::parse(e.substr(where.size() + 1));
        json &answers = doc["properties"];
        const auto a = std::find_if(answers.begin(), answers.end(),
                                    [&](const json &p) { return p["name"] == name; });
        if (where[0] == '/') {
            doc.erase(where.substr(1));
        } else if (a == answers.end()) {
            answers.push_back(value);
        } else if (name != where) {
            (*a)[where.substr(name.size() + 1)] = value;
        } else {
            answers.erase(a);
        }
    }
}

// --compare against the document of this very television, edited: one line
// per answer that differs (volatile ones apart, not counted), the summary,
// and the status telling whether anything that counts moved.
TEST(Inspector, CompareShowsExactlyTheAnswersThatMoved) {
    struct Case {
        std::string edits;  // of the document this television gave
        std::string lines;  // before the summary
        int differing, volatiles, compared = 49;
        std::string first = "";  // the first difference in the document, written compactly
    };
    SimDevice device;
    fakeCommand(device.dir(), "free", "echo 'Mem: 2000 900 700'");
    const ProgramRun base = inspect(device, kBuilt + "--json");
    ASSERT_EQ(base.status, 0) << base.err;
    const json doc = json::parse(base.out);
    EXPECT_EQ(doc["format"], 2);
    EXPECT_EQ(doc["libraryVersion"], VELQUAR_PROJECT_VERSION);
    const std::string volatileLine = "availableMemory: OK 1 -> OK 700 (volatile, not counted)\n";
    const Case cases[] = {
        {"", "", 0, 0},
        {"panelWidth.value=1920", "panelWidth: OK 1920 -> OK 3840\n", 1, 0, 49,
         R"({"name":"panelWidth","new":{"code":0,"result":"OK","type":"int32","value":3840},)"
         R"("old":{"code":0,"result":"OK","type":"int32","value":1920},"volatile":false})"},
        {"hdcpMajorVersion.code=" + std::to_string(PROPERTY_UNAVAILABLE) +
             " hdcpMajorVersion.result=\"PROPERTY_UNAVAILABLE\" hdcpMajorVersion.value=null",
         "hdcpMajorVersion: PROPERTY_UNAVAILABLE -> OK 2\n", 1, 0},
        {"CADirectoryPath.code=1 CADirectoryPath.result=\"0x00000001\"",
         "CADirectoryPath: 0x00000001 -> PROPERTY_UNAVAILABLE\n", 1, 0},
        {"modelName.value=\"OV-55U8\\n\"", "modelName: OK \"OV-55U8\\n\" -> OK \"OV-55U8\"\n", 1,
         0},
        {"modelName.value=\"OV\\u0000-55U8\"", "modelName: OK \"OV\\x00-55U8\" -> OK \"OV-55U8\"\n",
         1, 0},
        {"availableMemory.value=1", volatileLine, 0, 1},
        {"totalMemory.type=\"int32\" availableMemory.value=1",
         "totalMemory: int32 OK 2000 -> int64 OK 2000\n" + volatileLine, 1, 1},
        {"deviceId=null", "deviceId: (absent) -> OK \"001a2b3c4d5e\"\n", 1, 0},
        {R"(retired={"name":"retired","type":"bool","result":"OK","code":0,"value":true,"output":[]})",
         "retired: OK true -> (absent)\n", 1, 0, 50},
        // 1.4.0 wrote the same properties without these two members.
        {"/format=null /libraryVersion=null", "", 0, 0},
    };
    const std::string path = device.dir() + "/old.json";
    for (const Case &k : cases) {
        SCOPED_TRACE(k.edits);
        json old = doc;
        edit(old, k.edits);
        writeText(path, old.dump(k.first.empty() ? 2 : -1));
        const ProgramRun run = inspect(device, kBuilt + "--compare " + path);
        const int status = k.differing ? 1 : 0;
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_EQ(run.out, k.lines + std::to_string(k.compared) + " properties compared: " +
                               std::to_string(k.differing) + " differing, " +
                               std::to_string(k.volatiles) + " volatile differing (not counted)\n");
        // The note on a document without a format, and only then.
        EXPECT_EQ(run.err.find("has no format version") != std::string::npos,
                  !old.contains("format"))
            << run.err;

        const ProgramRun jsonRun = inspect(device, kBuilt + "--compare " + path + " --json");
        EXPECT_EQ(jsonRun.status, status) << jsonRun.err;
        const json report = json::parse(jsonRun.out, nullptr, false);
        ASSERT_TRUE(report.is_object()) << jsonRun.out;
        EXPECT_EQ(report["format"], 2);
        EXPECT_EQ(report["oldFormat"], old.contains("format") ? 2 : 1);
        EXPECT_EQ(report["differing"], k.differing);
        // The document lists the same differences in the same order.
        const std::vector<std::string> want = lines(k.lines);
        ASSERT_EQ(report["differences"].size(), want.size()) << jsonRun.out;
        for (size_t n = 0; n < want.size(); ++n) {
            const json &d = report["differences"][n];
            EXPECT_TRUE(fits(want[n], d["name"].get<std::string>() + ": …")) << d;
            EXPECT_EQ(fits(want[n], "…(volatile, not counted)"), d["volatile"] == true) << d;
        }
        if (!k.first.empty()) {
            EXPECT_EQ(report["differences"][0].dump(), k.first);
        }
    }
}

// An earlier document that cannot be used: nothing is loaded or compared,
// one line says why, status 2.
TEST(Inspector, CompareRefusesAnUnusableDocument) {
    const std::string entry =
        R"({"name": "panelWidth", "type": "int32", "result": "OK", "code": 0, "value": 3840})";
    // The contents of old.json ("DIR" makes it a folder, "NONE" leaves it out)
    // and what follows "velquar-props: cannot compare with PATH: ".
    const std::pair<std::string, std::string> cases[] = {
        {"NONE", "No such file or directory"},
        {"DIR", "not a regular file"},
        {"{\"properties\": [" + entry, "not a JSON document"},
        {"[" + entry + "]", "not a JSON object"},
        {R"({"format": 2})", "it has no \"properties\" array"},
        {R"({"format": 3, "properties": []})",
         "it is of format 3, newer than this release reads (2); compare it with the velquar-props "
         "that wrote it"},
        {R"({"format": 0, "properties": []})", "its \"format\" is not a format number"},
        {"{\"properties\": [" + entry + ", " + entry + "]}", "it names panelWidth twice"},
        {R"({"properties": [{"name": "panelWidth", "type": "int32", "value": 1}]})",
         "property 1 (panelWidth) lacks an integer code"},
        {R"({"properties": [{"name": "x", "type": "int32", "code": 0, "value": 1.5}]})",
         "property 1 (x) has a value of no answer's kind"},
        {"{\"properties\": []}" + std::string(1024 * 1024, ' '), "larger than 1048576 bytes"},
    };
    SimDevice holder;
    std::vector<Call> calls;
    for (const auto &[contents, reason] : cases) {
        const std::string path = holder.dir() + "/old" + std::to_string(calls.size()) + ".json";
        if (contents == "DIR") {
            ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
        } else if (contents != "NONE") {
            writeText(path, contents);
        }
        calls.push_back({kBuilt + "--compare " + path, 2, "",
                         "velquar-props: cannot compare with " + path + ": " + reason + "\n",
                         false});
    }
    expectCalls(calls);
}

// A usage error: its line and the way to the help, nothing more.
std::string usage(const std::string &message) {
    return "velquar-props: " + message + "\nTry 'velquar-props --help' for more information.\n";
}

// Any other failure: its line is the program's last.
TEST(Inspector, BadCommandLinesFailWithAMessage) {
    SimDevice holder;
    const std::string fifo = holder.dir() + "/library.so", empty = holder.dir() + "/empty.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeText(empty, "{\"format\": 2, \"properties\": []}");
    // velquar-sim stands beside the program in the build.
    const std::string missing =
        "velquar-props: cannot load /nonexistent.so: /nonexistent.so: cannot open shared object "
        "file: No such file or directory (on the simulated television: velquar-sim velquar-props "
        "...)\n";
    const std::string value =
        "--value reads one property, without --json, --list, --check, "
        "--compare or names";
    const std::string list = "--list prints the whole catalogue, without --check or names";
    const std::string compare = "--compare reads every property, without --check, --list or names";
    const std::string failing =
        "stub library loaded\nstub library unloaded\n"
        "velquar-props: CreateDevicePropertiesProviderContext failed: PROPERTY_UNAVAILABLE\n";
    std::vector<Call> calls = {
        {"--bogus", 2, "", usage("unknown option --bogus"), false},
        {"--bogus=1", 2, "", usage("unknown option --bogus"), false},
        {"-x", 2, "", usage("unknown option -x"), false},
        {"-\x01", 2, "", usage("unknown option -\x01"), false},  // --version has no short form
        {"--json=yes", 2, "", usage("--json takes no value"), false},
        {"--version=2", 2, "", usage("--version takes no value"), false},
        {"--library", 2, "", usage("--library needs a path"), false},
        {"--library=/nonexistent.so", 1, "", missing, false},
        {"--library /nonexistent.so", 1, "", missing, false},
        // Loads, but lacks the six functions: nothing of it is called.
        {"--library " VELQUAR_NO_EXPORTS_LIBRARY, 1, "",
         "velquar-props: CreateDevicePropertiesProviderContext: " VELQUAR_NO_EXPORTS_LIBRARY
         ": undefined symbol: CreateDevicePropertiesProviderContext\n",
         false},
        {"--value", 2, "", usage("--value needs a property name"), false},
        {"--json --value panelWidth", 2, "", usage(value), false},
        {"--value panelWidth panelHeight", 2, "", usage(value), false},
        // Refused at once: the loader would wait for a writer for ever.
        {"--library " + fifo, 1, "",
         "velquar-props: cannot load " + fifo + ": not a regular file\n", false},
        {"--library " VELQUAR_FAILING_LIBRARY, 1, "",
         "stub library loaded\nvelquar-props: CreateDevicePropertiesProviderContext failed: "
         "PROPERTY_UNAVAILABLE\nstub library unloaded\n",
         false},
        {"--list --value panelWidth", 2, "", usage(value), false},
        {"--list panelWidth", 2, "", usage(list), false},
        {"--l", 2, "", usage("ambiguous option --l"), false},
        {"--list=all", 2, "", usage("--list takes no value"), false},
        {"--check panelWidth", 2, "", usage("--check reads every property, without names"), false},
        {"--check --list", 2, "", usage(list), false},
        {"--check --value deviceId", 2, "", usage(value), false},
        {"--che=1", 2, "", usage("--check takes no value"), false},
        {"--compare", 2, "", usage("--compare needs a file"), false},
        {"--compare old.json panelWidth", 2, "", usage(compare), false},
        {"--compare old.json --check", 2, "", usage(compare), false},
        {"--compare old.json --value deviceId", 2, "", usage(value), false},
        // A usable document, but nothing to compare it with: not a difference.
        {"--compare " + empty + " --library " VELQUAR_FAILING_LIBRARY, 2, "", failing, false},
        {"--compare " + empty + " " + kStub, 2, "",
         "…velquar-props: the platform library ended the process during the read of "
         "deviceMode\n",
         false, "", "VELQUAR_STUB_EXIT=read"},
    };
    // A library that ends the process has not passed anything.
    const std::string ended = "…velquar-props: the platform library ended the process during ";
    for (const auto &[mode, step, during] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"--check", "load", "the load of " VELQUAR_STUB_LIBRARY},
             {"--json", "load", "the load of " VELQUAR_STUB_LIBRARY},
             {"--check", "create", "CreateDevicePropertiesProviderContext"},
             {"--json", "read", "the read of deviceMode"},
             {"--json", "release", "ReleaseDevicePropertiesProviderContext"},
             {"--check", "unload", "the unload of the library"}}) {
        calls.push_back({mode + " " + kStub, 1, "", ended + during + "\n", false, "",
                         "VELQUAR_STUB_EXIT=" + step});
    }
    expectCalls(calls);
}

// Standard output that cannot take the output: a message and status 1 in
// every mode. A file-size limit of 0 costs only the capture of the
// library's lines, which then go to standard error, and the document says so.
TEST(Inspector, OutputThatCannotBeWrittenIsAFailure) {
    SimDevice holder;
    const std::string input = holder.dir() + "/input";
    writeText(input, "standard input\n");
    const std::string full = "velquar-props: write error on standard output";
    const std::string note =
        "{\n  \"format\": 2,\n…\n  \"note\": \"the library's lines cannot be stored (";
    expectCalls({
        {kBuilt + "--json >/dev/full", 1, "", "…" + full + ": No space left on device\n", true},
        {kBuilt + "panelWidth >/dev/full", 1, "", "…" + full + "…", true},
        {kBuilt + "--value panelWidth >/dev/full", 1, "",
         "…" + full + ": No space left on device\n", true},
        {"--help >/dev/full", 1, "", full + ": No space left on device\n", false},
        // Standard error joins standard output in the pipe, which no limit
        // holds; the library's lines come before the document. (The limit
        // keeps the stand-ins' call log empty too.)
        {kBuilt + "--json platformPackageVersion 2>&1; }", 0,
         "…Orvane Palomir config path: …" + note +
             "File too large): they went to standard error\",\n  \"properties\": [\n    {\"name\": "
             "\"platformPackageVersion\", \"type\": \"string\", \"result\": \"OK\", \"code\": 0, "
             "\"value\": \"6.2.1-velquar.20261201\", \"output\": []}\n  ]\n}\n",
         "", false, "", "", "{ ulimit -f 0; exec "},
        // No file to take the lines at all: they go to standard error, and
        // no other descriptor (standard input, read-write here) stands in.
        {kBuilt + "--json platformPackageVersion <>" + input, 0,
         note + "Read-only file system): they went to standard error\",\n  \"properties\": [\n…",
         "…Orvane Palomir config path: …", true, "", preloadSetting(VELQUAR_NO_FILE_PRELOAD_PATH)},
        // Standard input closed: the file that takes the lines is descriptor 0.
        {kBuilt + "--json platformPackageVersion <&-", 0,
         "…\"output\": [\"Orvane Palomir config path: …", "…", true},
        // Without standard error there is nowhere to set standard output
        // aside to: a failure all the same.
        {kBuilt + "--json 2>&-; }", 1, "", "", false, "", "", "{ exec "},
    });
    EXPECT_EQ(readFile(input), "standard input\n");
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
