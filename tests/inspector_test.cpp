// The velquar-props inspector, run as a process against the built library
// and the stand-ins.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <algorithm>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "emulator.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

struct ProgramRun {
    int status;  // exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs the inspector with args (plain words, no quoting needed) in this
// process's environment, which names the device's state and log.
ProgramRun inspect(const SimDevice &device, const std::vector<std::string> &args,
                   const std::string &preload = std::string()) {
    const std::string errPath = device.dir() + "/stderr";
    std::vector<std::string> settings;
    if (!preload.empty()) {
        settings.push_back("LD_PRELOAD=" + preload);
    }
    std::string command = programCommand(VELQUAR_PROPS_PATH, settings);
    for (const std::string &a : args) {
        command += " " + a;
    }
    command += " 2>" + errPath;
    fflush(stdout);
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return {-1, "", ""};
    }
    std::string out;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.append(chunk, n);
    }
    const int status = pclose(pipe);
    std::ifstream errFile(errPath);
    std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, err};
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

TEST(Inspector, JsonDocumentHasOneEntryPerProperty) {
    SimDevice device("hdcp_version = 0\n");
    ProgramRun run = inspect(device, built({"--json"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const size_t start = run.out.find("{\n  \"properties\": [\n");
    ASSERT_NE(start, std::string::npos) << run.out;
    std::vector<std::string> entries;
    std::istringstream in(run.out.substr(start));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("    {\"name\": ", 0) == 0) {
            entries.push_back(line);
        }
    }
    ASSERT_EQ(entries.size(), 49u);
    EXPECT_EQ(entries[8],
              "    {\"name\": \"supportsUHD\", \"type\": \"bool\", \"result\": \"OK\", "
              "\"code\": 0, \"value\": true},");
    EXPECT_EQ(entries[17],
              "    {\"name\": \"hdcpMajorVersion\", \"type\": \"int32\", \"result\": "
              "\"PROPERTY_UNAVAILABLE\", \"code\": -2147483632, \"value\": null},");
    EXPECT_EQ(entries[48].back(), '}');  // no comma after the last entry
    EXPECT_EQ(run.out.substr(run.out.size() - 6), "  ]\n}\n");
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
        const char *message;
    };
    const Case cases[] = {
        {{"--bogus"}, 2, "velquar-props: unknown option --bogus\n"},
        {{"--library"}, 2, "velquar-props: --library needs a path\n"},
        {{"--library", "/nonexistent.so"}, 1, "velquar-props: cannot load /nonexistent.so: "},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args.back());
        SimDevice device;
        ProgramRun run = inspect(device, k.args);
        EXPECT_EQ(run.status, k.status);
        EXPECT_EQ(run.err.rfind(k.message, 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(device.log().empty());
    }
}

// A preloaded capability query replaces the stand-in's: the library reaches
// the platform through the dynamic linker, as it must for the vendor's
// libraries to drop in.
TEST(Inspector, PreloadedPlatformCallIsTheOneThatAnswers) {
    SimDevice device;
    std::string preload = VELQUAR_PRELOAD_PATH;
#ifdef VELQUAR_ASAN_RUNTIME
    preload = std::string(VELQUAR_ASAN_RUNTIME) + ":" + preload;
#endif
    ProgramRun run = inspect(
        device, built({"panelWidth", "panelHeight", "displayWidth", "supportsUHD"}), preload);
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
