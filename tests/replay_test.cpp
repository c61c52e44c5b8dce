// velquar-sim --bundle as a process: a bundle captured elsewhere replays to
// the answers given where it was captured, as another user; a faulty or
// hostile bundle, or a machine without the means, runs nothing.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "emulator.h"
#include "refuse_call.h"
#include "root_view.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

// The answers of a JSON document: name, type, result, code and value of
// each property, without the lines printed while reading it.
std::string answers(const std::string &json) {
    std::istringstream in(json);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.find("{\"name\": ") != std::string::npos) {
            kept += line.substr(0, line.find(", \"output\": ")) + "\n";
        }
    }
    return kept;
}

const char kGoodRecords[] =
    "shell.1.command = uname -o\nshell.1.output.hex = 0a\n"
    "shell.2.command = uname -a\nshell.2.output.hex = 0a\n"
    "shell.3.command = free | grep Mem | awk '{print $2}'\nshell.3.output.hex = 310a\n"
    "shell.4.command = free | grep Mem | awk '{print $4}'\nshell.4.output.hex = 310a\n"
    "shell.5.command = cat /proc/net/wireless | awk 'NR==3 {print $3}'\nshell.5.output.hex =\n"
    "curl_ca_bundle_path.set = 0\n";

}  // namespace

// Captured with another uname, free, wireless table, panel chain and
// certificate variable, the bundle replays, copied to a folder of another
// user and run by that user with a clean environment, to the very answers
// the inspector gave where it was captured: all 49, values and codes.
TEST(Replay, AnswersAsWhereItWasCaptured) {
    if (getuid() != 0 || !emulatorWords().empty()) {
        GTEST_SKIP() << "needs root (a private mount namespace, another user), natively";
    }
    struct Case {
        const char *name;
        const char *wireless;  // what the fake cat prints for the table
        const char *curl;      // CURL_CA_BUNDLE_PATH, or null for unset
    };
    const Case cases[] = {
        {"WirelessOledCurl",
         "printf 'Inter-| sta-|   Quality\\n face | tus | link\\n wlan0: 0000   57.  -53.\\n'",
         "/etc/ssl/tv/ca-bundle.pem"},
        {"NoWirelessTableCurlUnset", "exit 1", nullptr},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        SimDevice device(readFile(VELQUAR_PROFILES_DIR "/1080p-wifi.state"));
        const std::string bundle = device.dir() + "/bundle", expected = device.dir() + "/a.json";
        const RootView view = runInRootView({"config", "srv"}, [&] {
            // Another television's uname, free and wireless table, first on PATH.
            const std::string bin = device.dir() + "/bin";
            ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
            fakeCommand(
                bin, "uname",
                "case $1 in -o) echo TV/Linux ;; "
                "*) echo 'Linux tv-oled-55 4.19.116 #1 SMP PREEMPT armv7l TV/Linux' ;; esac");
            fakeCommand(bin, "free", "echo '  total used free'\necho 'Mem: 1534000 812000 401234'");
            fakeCommand(bin, "cat",
                        "[ \"$1\" = /proc/net/wireless ] || exec /bin/cat \"$@\"\n" +
                            std::string(k.wireless));
            // The chain's panel file lies in a folder the replaying machine has.
            writeFile("/config/sys.ini", "[model]\ngModelName = /config/m/model.ini\n");
            writeFile("/config/m/model.ini", "[panel]\nm_pPanelName = /srv/tv/panel.ini\n");
            writeFile("/srv/tv/panel.ini", "[panel]\nm_bPanelSupportsOLED = 1\n");
            unsetenv("CURL_CA_BUNDLE_PATH");
            if (k.curl) {
                setenv("CURL_CA_BUNDLE_PATH", k.curl, 1);
            }
            ProgramRun run =
                runCommand(programCommand(VELQUAR_CAPTURE_PATH) + " --bundle " + bundle,
                           device.dir() + "/capture.err");
            ASSERT_EQ(run.status, 0) << run.err;
            run = runCommand(inspectorCommand() + " --library " VELQUAR_LIBRARY_PATH " --json",
                             device.dir() + "/a.err");
            ASSERT_EQ(run.status, 0) << run.err;
            std::ofstream(expected) << run.out;
        });
        if (view == RootView::NotPermitted) {
            GTEST_SKIP() << "needs root for a private mount namespace";
        }
        const std::string theirs = device.dir() + "/nobody";
        ASSERT_EQ(system(("cp -r " + bundle + " " + theirs + " && chown -R 65534:65534 " + theirs +
                          " && chmod 755 " + device.dir())
                             .c_str()),
                  0);
        ProgramRun run = runCommand(
            "setpriv --reuid=65534 --regid=65534 --clear-groups env -i PATH=/usr/bin:/bin " +
                std::string(VELQUAR_SIM_PATH) + " --bundle " + theirs + " " + inspectorCommand() +
                " --library " VELQUAR_LIBRARY_PATH " --json",
            device.dir() + "/b.err");
        if (run.status == 1 && run.err.find("(unshare): ") != std::string::npos) {
            GTEST_SKIP() << "no user namespaces here: " << run.err;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string want = answers(readFile(expected));
        EXPECT_EQ(std::count(want.begin(), want.end(), '\n'), 49) << want;
        EXPECT_EQ(answers(run.out), want);
        // What moves the recorded television off the desk machine's answers.
        for (const char *seen :
             {"\"TV/Linux\\n\"", "1534000", "401234",
              "\"supportsOLED\", "
              "\"type\": \"bool\", \"result\": \"OK\", \"code\": 0, \"value\": true"}) {
            EXPECT_NE(want.find(seen), std::string::npos) << seen << "\n" << want;
        }
        EXPECT_EQ(want.find("\"value\": 57\n") != std::string::npos, k.curl != nullptr) << want;
        EXPECT_EQ(want.find("ca-bundle.pem") != std::string::npos, k.curl != nullptr) << want;
    }
}

// A bundle that is faulty or leads out of its folder, or a machine that
// cannot replay: one line on standard error, status 1, the program not run.
TEST(Replay, RefusesWhatItCannotReplayWhole) {
    if (!emulatorWords().empty()) {
        // velquar-sim starts the helper itself, which qemu-user would not
        // follow, and qemu-user takes no seccomp filter.
        GTEST_SKIP() << "runs natively only";
    }
    enum Machine { Able, NoUnshare, MountBelowSrv };
    struct Case {
        const char *name;
        std::string state;    // capture.state
        const char *setup;    // shell text run in the bundle folder first
        std::string message;  // after the refusal's opening words
        Machine machine = Able;
    };
    const std::string good = std::string(kGoodRecords) + "config_path = config.ini\n";
    const Case cases[] = {
        {"OldBundle", "config_path = config.ini\n", "",
         "capture.state: no record of the output of \"uname -o\""},
        {"NoCurlRecord", std::string(kGoodRecords).substr(0, sizeof kGoodRecords - 29), "",
         "capture.state: no record of CURL_CA_BUNDLE_PATH"},
        {"LinkInRoot", good, "ln -s /etc root/config", "root/config: a symbolic link"},
        {"LinkDeeper", good, "mkdir root/config && ln -s /etc/passwd root/config/sys.ini",
         "root/config/sys.ini: a symbolic link"},
        {"LinkAsState", good, "mv capture.state s && ln -s s capture.state",
         "capture.state: a symbolic link"},
        {"ConfigPathUp", std::string(kGoodRecords) + "config_path = ../x.ini\n", "",
         "the configuration path \"../x.ini\" has a .. in it"},
        {"ConfigPathOut", std::string(kGoodRecords) + "config_path = /etc/passwd\n", "",
         "the configuration path \"/etc/passwd\" has no copy under root/"},
        {"ConfigPathRoot", std::string(kGoodRecords) + "config_path = //\n", "",
         "the configuration path \"//\" has no copy under root/"},
        {"OversizeCopy", good,
         "mkdir root/config && head -c 1048577 /dev/zero >root/config/sys.ini",
         "root/config/sys.ini: larger than 1 MiB"},
        {"Fifo", good, "mkdir root/config && mkfifo root/config/sys.ini",
         "root/config/sys.ini: a FIFO"},
        {"NotHex", "shell.1.output.hex = 0g\n" + good, "",
         "capture.state: shell.1.output.hex is not 0 to 4096 bytes as hex digits"},
        {"CommandAlone", good + "shell.9.command = ls\n", "",
         "capture.state: shell.9 has a command line without output or output without a "
         "command line"},
        {"TooDeep", good, "mkdir -p root/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d",
         "root/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d: more than 16 folders deep"},
        {"Proc", good, "mkdir -p root/proc/net && echo x >root/proc/net/wireless",
         "root/proc: kernel and device folders are not replayed from copies"},
        {"NoUnshare", good, "",
         "a user and mount namespace of its own (unshare): Operation not permitted", NoUnshare},
        // Copies laid over a folder of the machine that has a mount below it
        // would hide that mount.
        {"HidesAMount", good, "mkdir -p root/srv/tv && echo [panel] >root/srv/tv/panel.ini",
         "root/srv: laid over /srv it would hide /srv/data, mounted on this machine",
         MountBelowSrv},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        SimDevice device;
        const std::string bundle = device.dir() + "/bundle", mark = device.dir() + "/ran";
        writeFile(bundle + "/capture.state", k.state);
        writeFile(bundle + "/config.ini", "[Device]\n");
        ASSERT_EQ(mkdir((bundle + "/root").c_str(), 0755), 0);
        ASSERT_EQ(system(("cd " + bundle + (*k.setup ? " && " : "") + k.setup).c_str()), 0);
        const std::string refused =
            k.machine == Able ? "velquar-sim: --bundle " + bundle + ": cannot replay this bundle: "
                              : "velquar-sim: --bundle: a complete replay is not possible here: ";
        void (*refuseUnshare)() = [] { refuseCall(__NR_unshare, 0, 0, false, EPERM); };
        auto replay = [&] {
            EXPECT_EQ(runProgram(VELQUAR_SIM_PATH,
                                 {"--bundle", bundle.c_str(), "/usr/bin/touch", mark.c_str()}, 1,
                                 "", k.machine == NoUnshare ? refuseUnshare : nullptr),
                      refused + k.message + "\n");
            EXPECT_NE(access(mark.c_str(), F_OK), 0) << "the program ran";
        };
        if (k.machine != MountBelowSrv) {
            replay();
        } else if (runInRootView({"srv"}, [&] {
                       ASSERT_EQ(mkdir("/srv/data", 0755), 0);
                       ASSERT_EQ(mount("tmpfs", "/srv/data", "tmpfs", 0, nullptr), 0)
                           << strerror(errno);
                       replay();
                   }) == RootView::NotPermitted) {
            GTEST_SKIP() << "needs root for a private mount namespace";
        }
    }
}
