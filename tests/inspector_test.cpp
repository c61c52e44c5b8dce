// The velquar-props inspector, run as a process against the built library
// and the stand-ins.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <algorithm>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

// Runs the inspector with args (plain words, no quoting needed) in this
// process's environment, which names the device's state and log.
ProgramRun inspect(const SimDevice &device, const std::vector<std::string> &args,
                   const std::string &preload = std::string()) {
    std::vector<std::string> settings;
    if (!preload.empty()) {
        settings.push_back(preloadSetting(preload));
    }
    std::string command = programCommand(VELQUAR_PROPS_PATH, settings);
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
    const std::string summaryCommand = "python3 -c \"$VELQUAR_JSON_SUMMARY\" " + document + " 2>&1";
    setenv("VELQUAR_JSON_SUMMARY", kJsonSummary, 1);
    FILE *pipe = popen(summaryCommand.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> summary;
    char line[65536];
    while (fgets(line, sizeof line, pipe)) {
        summary.emplace_back(line, strcspn(line, "\n"));
    }
    ASSERT_EQ(pclose(pipe), 0) << (summary.empty() ? "" : summary.back()) << "\n" << run.out;
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

TEST(Inspector, BadCommandLinesFailWithAMessage) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;  // begins a line of standard error
    };
    SimDevice holder;
    const std::string fifo = holder.dir() + "/library.so";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const Case cases[] = {
        {{"--bogus"}, 2, "velquar-props: unknown option --bogus\n"},
        {{"--library"}, 2, "velquar-props: --library needs a path\n"},
        {{"--library", "/nonexistent.so"}, 1, "velquar-props: cannot load /nonexistent.so: "},
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
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.back());
        SimDevice device;
        ProgramRun run = inspect(device, k.args);
        EXPECT_EQ(run.status, k.status);
        EXPECT_NE(("\n" + run.err).find("\n" + k.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(device.log().empty());
    }
}

// The simulated television names on standard error, once per process
// however many stand-ins read the file, what in its state file it cannot
// use, and then answers as before: a misspelled key leaves the default.
TEST(Inspector, SimulatorReportsWhatItCannotUse) {
    struct Case {
        const char *state;
        const char *stateFile;             // null: the device's own state file
        std::vector<std::string> reports;  // after "velquar simulator: "; @ is the state file
        const char *panelWidth;
    };
    const Case cases[] = {
        {"",
         "/nonexistent.state",
         {"cannot read the state file \"/nonexistent.state\": No such file or directory; "
          "answering as the default television"},
         "3840"},
        {"",
         "/",
         {"cannot read the state file \"/\": Is a directory; answering as the default "
          "television"},
         "3840"},
        {"capability.panle_width = 1920\n",
         nullptr,
         {"@:1: unknown key \"capability.panle_width\""},
         "3840"},
        {"# a comment\n\ncapability.panel_width = 19x20\n",
         nullptr,
         {"@:3: cannot read \"19x20\" for capability.panel_width: expected a 32-bit number"},
         "19"},
        {"capability.panel_width = 1280\nmac = 00:11\ninput_source = 34, x\n",
         nullptr,
         {"@:2: cannot read \"00:11\" for mac: expected 6 bytes as hex digits",
          "@:3: cannot read \"34, x\" for input_source: expected 32-bit numbers separated by "
          "blanks or commas"},
         "1280"},
        {"capability.hdr_flag1 = 256\ncapability.hex = 0g\napm.deliver = later\n",
         nullptr,
         {"@:1: cannot read \"256\" for capability.hdr_flag1: expected a number from -128 to 255",
          "@:2: cannot read \"0g\" for capability.hex: expected 1 to 16 bytes as hex digits",
          "@:3: cannot read \"later\" for apm.deliver: expected join, is_resource_owner, thread "
          "or leave"},
         "3840"},
        {"apm.messages = 4 OTA | x OTA\nhdcp_version = 0x100000000\n",
         nullptr,
         {"@:1: cannot read \"4 OTA | x OTA\" for apm.messages: expected messages \"CODE TEXT\" "
          "or \"CODE\" separated by |",
          "@:2: cannot read \"0x100000000\" for hdcp_version: expected a 32-bit number"},
         "3840"},
        // What the file holds is shown with escapes, never as lines of its own.
        {"panel\\x1b\nwidth\"\n",
         nullptr,
         {"@:1: no \"key = value\" in \"panel\\x5cx1b\"",
          "@:2: no \"key = value\" in \"width\\x22\""},
         "3840"},
        {"ke\ny = 1\n\x1b[2J = 2\n",
         nullptr,
         {"@:1: no \"key = value\" in \"ke\"", "@:2: unknown key \"y\"",
          "@:3: unknown key \"\\x1b[2J\""},
         "3840"},
        // Every key of the recorder's and the profiles' kind is known.
        {"capability.panel_width = 0x500\ncustomer.chipset.hex = 41:42\nproxy = h:1\n"
         "customer.model_name.unwritten = 1\nteec.invoke.origin = 3\napm.messages = 4 | 5 OTA\n"
         "mmplayer.option.hex = "
         "0000000000000000000000000000000000000000000000000000000000000000\n",
         nullptr,
         {},
         "1280"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.state);
        SimDevice device(k.state);
        const std::string stateFile = k.stateFile ? k.stateFile : device.dir() + "/device.state";
        ProgramRun run =
            runCommand(programCommand(VELQUAR_PROPS_PATH, {"VELQUAR_SIM_STATE=" + stateFile}) +
                           " --value panelWidth",
                       device.dir() + "/stderr");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, std::string(k.panelWidth) + "\n");
        std::vector<std::string> reports;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);) {
            const std::string prefix = "velquar simulator: ";
            if (line.compare(0, prefix.size(), prefix) == 0) {
                reports.push_back(line.substr(prefix.size()));
            }
        }
        std::vector<std::string> expected;
        for (std::string r : k.reports) {
            if (r[0] == '@') {
                r.replace(0, 1, stateFile);
            }
            expected.push_back(r);
        }
        EXPECT_EQ(reports, expected) << run.err;
    }
}

// A preloaded capability query replaces the stand-in's: the library reaches
// the platform through the dynamic linker, as it must for the vendor's
// libraries to drop in.
TEST(Inspector, PreloadedPlatformCallIsTheOneThatAnswers) {
    SimDevice device;
    ProgramRun run =
        inspect(device, built({"panelWidth", "panelHeight", "displayWidth", "supportsUHD"}),
                VELQUAR_PRELOAD_PATH);
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
        {{"--json", "panelWidth"},
         "{\n  \"output\": [\"stub library loaded\", \"stub context created\", "
         "\"stub context released\", \"stub library unloaded\"],\n  \"properties\": [\n"
         "    {\"name\": \"panelWidth\", \"type\": \"int32\", \"result\": \"OK\", \"code\": 0, "
         "\"value\": 3840, \"output\": []}\n  ]\n}\n",
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
    };
    SimDevice device;
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
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.front());
        std::string command =
            k.prefix + programCommand(VELQUAR_PROPS_PATH) + " --library " + VELQUAR_LIBRARY_PATH;
        for (const std::string &a : k.args) {
            command += " " + a;
        }
        ProgramRun run = runCommand(command, device.dir() + "/stderr");
        EXPECT_EQ(run.status, k.status) << run.err;
        const std::string errText = *k.prefix ? run.out : run.err;
        EXPECT_NE(("\n" + errText).find("\n" + k.errLine), std::string::npos) << errText;
        EXPECT_NE(run.out.find(k.out), std::string::npos) << run.out;
    }
}
