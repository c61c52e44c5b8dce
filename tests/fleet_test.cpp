// velquar-fleet as a process: bundles captured from the simulated
// television, recorded, edited and checked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "emulator.h"
#include "sim_device.h"

using namespace velquar_test;
using nlohmann::json;

namespace {

// Two bundles of the simulated television, tv-a as the 4K profile and tv-b
// as the 1080p one, in the device's folder.
class Fleet : public testing::Test {
protected:
    void SetUp() override {
        if (!emulatorWords().empty()) {
            GTEST_SKIP() << "the replay's namespaces are not emulated";
        }
        for (const char *tv : {"tv-a:4k-hdr", "tv-b:1080p-wifi"}) {
            const std::string name(tv, 4);
            device.setState(readFile(std::string(VELQUAR_PROFILES_DIR "/") + (tv + 5) + ".state"));
            const ProgramRun run =
                runCommand(programCommand(VELQUAR_CAPTURE_PATH) + " --bundle " + bundle(name),
                           device.dir() + "/capture.err");
            ASSERT_EQ(run.status, 0) << run.err;
        }
        unsetenv("VELQUAR_SIM_STATE");
    }

    std::string bundle(const std::string &name) const { return device.dir() + "/" + name; }
    std::string answers(const std::string &name) const { return bundle(name) + "/answers.json"; }

    // velquar-fleet, and velquar-props in its replays: under AddressSanitizer
    // without TLS among the leak checker's roots, as inspectorCommand says.
    ProgramRun fleet(const std::string &args) {
        std::string command = VELQUAR_FLEET_PATH " " + args;
#ifdef VELQUAR_ASAN_RUNTIME
        command = "env LSAN_OPTIONS=use_tls=0 " + command;
#endif
        return runCommand(command, device.dir() + "/fleet.err");
    }

    // Edits the golden answer of property in the bundle name; the value it had.
    std::string edit(const std::string &name, const char *property, const json &value) {
        json doc = json::parse(readFile(answers(name)));
        std::string old;
        for (json &p : doc["properties"]) {
            if (p["name"] == property) {
                old = p["value"].dump();
                p["value"] = value;
            }
        }
        std::ofstream(answers(name), std::ios::trunc) << doc.dump(2);
        return old;
    }

    SimDevice device;
};

}  // namespace

// One answer moved in one bundle: that row alone, status 1; a volatile one
// is shown and not counted; the same answers give status 0.
TEST_F(Fleet, CheckShowsExactlyTheAnswersThatMoved) {
    ProgramRun run = fleet("record " + bundle("tv-a") + " " + bundle("tv-b"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "tv-a: recorded answers.json (OV-55U8)\ntv-b: recorded answers.json (OV-55U8)\n");
    const std::string header = "BUNDLE MODEL   CHANGES\n";
    run = fleet("check " + bundle("tv-a") + " " + bundle("tv-b"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, header +
                           "tv-a   OV-55U8 none\ntv-b   OV-55U8 none\n"
                           "2 bundles: 0 changed, 2 unchanged, 0 not checked\n");

    const std::string memory = edit("tv-a", "availableMemory", 1);
    edit("tv-b", "panelWidth", 1);
    edit("tv-b", "panelHeight", 1);
    run = fleet("check " + bundle("tv-a") + " " + bundle("tv-b"));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, header + "tv-a   OV-55U8 availableMemory: OK 1 -> OK " + memory +
                           " (volatile, not counted)\n"
                           "tv-b   OV-55U8 panelWidth: OK 1 -> OK 1920\n"
                           "               panelHeight: OK 1 -> OK 1080\n"
                           "2 bundles: 1 changed, 1 unchanged, 0 not checked\n");

    run = fleet("check --json " + bundle("tv-b") + " " + bundle("tv-a"));
    EXPECT_EQ(run.status, 1) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["format"], 2);
    EXPECT_EQ(report["bundles"][0]["result"], "changed");
    EXPECT_EQ(report["bundles"][0]["model"], "OV-55U8");
    EXPECT_EQ(report["bundles"][0]["differences"][0].dump(),
              R"({"name":"panelWidth","new":{"code":0,"result":"OK","type":"int32","value":1920},)"
              R"("old":{"code":0,"result":"OK","type":"int32","value":1},"volatile":false})");
    EXPECT_EQ(report["bundles"][0]["differences"].size(), 2u);
    EXPECT_EQ(report["bundles"][1]["result"], "unchanged");
    EXPECT_EQ(report["changed"], 1);
    EXPECT_EQ(report["unchanged"], 1);
}

// A bundle that cannot be checked is named in its row with why, the others
// are checked still, and the status is 2.
TEST_F(Fleet, BundlesThatCannotBeCheckedAreNamed) {
    ASSERT_EQ(fleet("record " + bundle("tv-a")).status, 0);
    const std::string outside = device.dir() + "/outside.json";
    ASSERT_EQ(rename(answers("tv-a").c_str(), outside.c_str()), 0);
    struct Case {
        const char *what;
        std::function<void(const std::string &)> spoil;  // of tv-b, which has no golden answers
        std::string row;                                 // what follows "tv-b   OV-55U8 "
    };
    const Case cases[] = {
        {"none", [](const std::string &) {},
         "not checked: no golden answers: answers.json: No such file or directory"},
        {"a link out of the bundle",
         [&](const std::string &b) { symlink(outside.c_str(), (b + "/answers.json").c_str()); },
         "not checked: no golden answers: answers.json: Too many levels of symbolic links"},
        {"malformed", [](const std::string &b) { std::ofstream(b + "/answers.json") << "{"; },
         "not checked: the golden answers cannot be used: answers.json: not a JSON document"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        unlink(answers("tv-b").c_str());
        k.spoil(bundle("tv-b"));
        ASSERT_TRUE(symlink(outside.c_str(), answers("tv-a").c_str()) == 0 || errno == EEXIST);
        const ProgramRun run = fleet("check " + bundle("tv-b"));
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_EQ(run.out, "BUNDLE MODEL   CHANGES\ntv-b   OV-55U8 " + k.row +
                               "\n1 bundle: 0 changed, 0 unchanged, 1 not checked\n");
        const json report = json::parse(fleet("check --json " + bundle("tv-b")).out);
        EXPECT_EQ(report["bundles"][0]["result"], "not checked");
        EXPECT_EQ(report["bundles"][0]["error"], k.row.substr(strlen("not checked: ")));
        EXPECT_EQ(report["bundles"][0]["differences"], json::array());
    }
    // A folder that is no bundle: the replay is refused, the good one recorded and checked.
    unlink(answers("tv-b").c_str());
    const std::string nothing = device.dir() + "/nothing",
                      why = "the replay failed (status 2): velquar-sim: --bundle: '" + nothing +
                            "' is not a folder";
    ProgramRun run = fleet("record " + nothing + " " + bundle("tv-b"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "nothing: not recorded: " + why + "\ntv-b: recorded answers.json (OV-55U8)\n");
    run = fleet("check " + nothing + " " + bundle("tv-b"));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out,
              "BUNDLE  MODEL   CHANGES\nnothing -       not checked: " + why +
                  "\ntv-b    OV-55U8 none\n2 bundles: 0 changed, 1 unchanged, 1 not checked\n");
    // record replaces a link at the name; the file it led to stays as it was.
    const std::string before = readFile(outside);
    ASSERT_EQ(unlink(answers("tv-a").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), answers("tv-a").c_str()), 0);
    std::ofstream(outside, std::ios::trunc) << "kept";
    ASSERT_EQ(fleet("record " + bundle("tv-a")).status, 0);
    EXPECT_EQ(readFile(outside), "kept");
    struct stat st;
    ASSERT_EQ(lstat(answers("tv-a").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 07777, 0644 & ~mask);  // all read it, its owner alone writes
    EXPECT_EQ(readFile(answers("tv-a")), before);
    // Answers that cannot be put in place leave no temporary file behind.
    ASSERT_EQ(unlink(answers("tv-a").c_str()), 0);
    ASSERT_EQ(mkdir(answers("tv-a").c_str(), 0755), 0);
    run = fleet("record " + bundle("tv-a"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "tv-a: not recorded: cannot put answers.json in place: Is a directory\n");
    EXPECT_NE(system(("ls -A " + bundle("tv-a") + " | grep -q '^[.]answers'").c_str()), 0);
}

TEST(FleetCommandLine, BadCommandLinesFailWithAMessage) {
    struct Case {
        std::string args;
        std::string message;
        int status = 2;
    };
    const Case cases[] = {
        {"", "record or check, and the bundles, are missing"},
        {"frobnicate tv", "unknown command frobnicate: record or check"},
        {"check", "check needs at least one bundle"},
        {"record --json tv", "--json goes with check only"},
        {"--bogus check tv", "unknown option --bogus"},
        {"check --library", "--library needs a path"},
        {"check --library '' tv", "--library needs a path"},
        {"check tv >&-", "cannot set standard output aside: Bad file descriptor", 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args);
        SimDevice device;
        const ProgramRun run =
            runCommand(programCommand(VELQUAR_FLEET_PATH) + " " + k.args, device.dir() + "/err");
        EXPECT_EQ(run.status, k.status);
        EXPECT_EQ(run.err,
                  "velquar-fleet: " + k.message + "\n" +
                      (k.status == 2 ? "Try 'velquar-fleet --help' for more information.\n" : ""));
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(device.log().empty());
    }
}
