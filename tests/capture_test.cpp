// velquar-capture as a process: a television it records, replayed by the
// stand-ins, gives the inspector the same answers and the same lines.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "emulator.h"
#include "root_view.h"
#include "sim_device.h"

using namespace velquar_test;

namespace {

// The settings that preload library into the recorder; under AddressSanitizer
// its shell lines find first a free that runs without the runtime (it hangs).
std::vector<std::string> preloading(const SimDevice &device, const char *library) {
    std::vector<std::string> settings = {preloadSetting(library)};
#ifdef VELQUAR_ASAN_RUNTIME
    const std::string bin = device.dir() + "/asan-bin";
    mkdir(bin.c_str(), 0755);
    writeFile(bin + "/free", "#!/bin/sh\nunset LD_PRELOAD\nexec /usr/bin/free \"$@\"\n");
    chmod((bin + "/free").c_str(), 0755);
    settings.push_back("PATH=" + bin + ":$PATH");
#else
    (void)device;
#endif
    return settings;
}

ProgramRun capture(const SimDevice &device, const std::string &args = std::string()) {
    return runCommand(programCommand(VELQUAR_CAPTURE_PATH) + " " + args,
                      device.dir() + "/capture.err");
}

// The inspector's JSON document for the state file, without availableMemory;
// the stand-ins log to at.log, standard error goes to at.err.
std::string document(const std::string &statePath, const std::string &at) {
    ProgramRun run = runCommand(
        inspectorCommand({"VELQUAR_SIM_STATE=" + statePath, "VELQUAR_SIM_LOG=" + at + ".log"}) +
            " --library " VELQUAR_LIBRARY_PATH " --json",
        at + ".err");
    EXPECT_EQ(run.status, 0) << run.err;
    // Every line of the state file is one the simulator can use.
    EXPECT_EQ(run.err.find("velquar simulator: "), std::string::npos) << run.err;
    std::istringstream in(run.out);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"name\": \"availableMemory\"") == std::string::npos) {
            kept += line + "\n";
        }
    }
    return kept;
}

// What a caller asked the platform as logged: input source and decoder option
// calls in order, customer section and application id each way asked.
std::map<std::string, std::vector<std::string>> questions(const std::string &logPath) {
    std::map<std::string, std::vector<std::string>> asked;
    std::ifstream log(logPath);
    for (std::string line; std::getline(log, line);) {
        for (const char *call :
             {"AppIpcApi_GetCurrentInputSource ", "Tevrin_MM_PlayerInterface::MM_GetOptionByPara ",
              "AppIpcApi_GetCustomerIniSection ", "AppIpcApi_GetAPPConfigFilePath "}) {
            // Every call has its entry, asked or not.
            asked[call].insert(asked[call].end(), line.rfind(call, 0) == 0, line);
        }
    }
    for (const char *call :
         {"AppIpcApi_GetCustomerIniSection ", "AppIpcApi_GetAPPConfigFilePath "}) {
        std::vector<std::string> &ways = asked[call];
        std::sort(ways.begin(), ways.end());
        ways.erase(std::unique(ways.begin(), ways.end()), ways.end());
    }
    return asked;
}

struct RoundTrip {
    const char *name;
    const char *profile;  // in simulator/profiles, or null for state below
    const char *state;
    const char *kept;          // lines the captured file holds
    size_t inputSourceCalls;   // the library's, until the input source settles
    bool playerStarts = true;  // else the decoder option is never asked
};

// Failing calls that write, a failing media-player query, non-text bytes,
// unterminated and overlong fields, an input source that settles late.
const char kOddTelevision[] =
    "hdcp_version.result = 7\nhdcp_version = 14\n"
    "input_source = 45, 12, 34\ninput_source.result = 3\n"
    "capability.hex = 00050000d002000001000100ee0000ff\n"
    "audio.result = -5\naudio.hex = ff00000000000000000000000000000000000000000000ab\n"
    "medium.result = 0x80000010\nlanguage = 99\nmac.result = -1\nmac = 01:02:03:04:05:06\n"
    "proxy.hex = 01ff1b5bc328e2825c227fed3a38303830000000000000000000000000000041\n"
    "customer.model_name.unterminated = OV-55\ncustomer.manufacturer.hex = 20417a0a00ff\n"
    "customer.chipset.fill = Q\ncustomer.firmware_version = V8\xff\x01x\n"
    "config_path.fill = X\nmmplayer.get_option.result = -9\nmmplayer.finalize.result = 4\n"
    "mmplayer.option.hex = 1000000002000300040000001700000000000000000000000000000000000005\n";

class CaptureRoundTrip : public testing::TestWithParam<RoundTrip> {};

// The replay of the capture answers as the television, and the recorder asks
// what the library asks, with the same presets and arguments.
TEST_P(CaptureRoundTrip, ReplayAnswersAsTheTelevision) {
    const char *profile = GetParam().profile;
    const std::string state =
        profile ? readFile(std::string(VELQUAR_PROFILES_DIR "/") + profile) : GetParam().state;
    ASSERT_TRUE(!profile || !state.empty()) << profile;
    SimDevice device(state);
    const std::string original = device.dir() + "/original.state";
    std::ofstream(original, std::ios::binary) << state;
    // The two wait for the platform at the same time.
    std::string expected;
    std::thread inspection([&] { expected = document(original, device.dir() + "/a"); });
    ProgramRun run = capture(device);
    inspection.join();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("velquar-capture: waiting for the platform "), 0u) << run.err;
    EXPECT_NE(run.err.find("...\nvelquar-capture: AppIpcApi_GetHDCPVersion: "), std::string::npos)
        << run.err;
    auto library = questions(device.dir() + "/a.log");
    EXPECT_EQ(library["AppIpcApi_GetCurrentInputSource "].size(), GetParam().inputSourceCalls);
    for (const auto &call : library) {
        EXPECT_EQ(call.second.empty(),
                  !GetParam().playerStarts && call.first.rfind("Tevrin_", 0) == 0)
            << call.first;
    }
    EXPECT_EQ(questions(device.dir() + "/calls.log"), library);

    const std::string captured = device.dir() + "/captured.state";
    std::ofstream(captured, std::ios::binary) << run.out;
    EXPECT_EQ(document(captured, device.dir() + "/b"), expected) << run.out;
    std::istringstream kept(GetParam().kept);
    for (std::string line; std::getline(kept, line);) {
        EXPECT_NE(run.out.find("\n" + line + "\n"), std::string::npos) << line << "\n" << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Televisions, CaptureRoundTrip,
    testing::Values(
        // Texts a line can hold are kept as readable text.
        RoundTrip{
            "Uhd", "4k-hdr.state", "",
            "input_source = 34\ncustomer.model_name = OV-55U8\ncustomer.manufacturer = Orvane\n"
            "customer.chipset = VQ-9A\ncustomer.firmware_version = V8-T653T01-LF1V001",
            1},
        // The library's command lines, whatever they printed.
        RoundTrip{"FullHd", "1080p-wifi.state", "",
                  "input_source = 45, 45, 34\nmedium = 2\nshell.1.command = uname -o\n"
                  "shell.5.command = cat /proc/net/wireless | awk 'NR==3 {print $3}'",
                  3},
        RoundTrip{"WrongInputSource", "wrong-input-source.state", "", "input_source = 23", 50},
        RoundTrip{"AllFail", "all-fail.state", "",
                  "hdcp_version.result = -1\ncapability.result = -1\n"
                  "mmplayer.initialize.result = -1\nconfig_path.result = -1",
                  50, false},
        RoundTrip{"Odd", nullptr, kOddTelevision,
                  "hdcp_version = 14\nhdcp_version.result = 7\ninput_source.result = 3\n"
                  "audio.result = -5\nmedium.result = -2147483632\nmac.result = -1\n"
                  "mac = 01:02:03:04:05:06\n"
                  "mmplayer.get_option.result = -9\nmmplayer.finalize.result = 4\n"
                  "customer.manufacturer.hex = 20417a0a00ff00",
                  3},
        // Empty texts from calls that succeed: the simulator's defaults differ.
        RoundTrip{"EmptyTexts", nullptr, "proxy =\ncustomer.model_name =\ncustomer.chipset =\n",
                  "proxy = \ncustomer.model_name = \ncustomer.chipset = ", 1},
        // A relative configuration path stays bytes: as text the replay would
        // resolve it beside the captured file.
        RoundTrip{"RelativeConfigPath", nullptr, "config_path.hex = 72656c2e696e69\n",
                  "config_path.hex = 72656c2e696e6900", 1},
        RoundTrip{"Settled", nullptr, "", "input_source = 34", 1},
        RoundTrip{"SettlesLate", nullptr, "input_source = 45, 12, 7, 34\n",
                  "input_source = 45, 12, 7, 34", 4},
        RoundTrip{
            "FailingServices", nullptr,
            "input_source.result = 3\ninput_source = 9, 34\n"
            "mmplayer.get_option.result = -9\ncustomer.result = -1\nconfig_path.result = -1\n",
            "input_source = 9, 34\nmmplayer.get_option.result = -9\ncustomer.result = -1", 2}),
    [](const testing::TestParamInfo<RoundTrip> &p) { return p.param.name; });

// A bundle moved to another folder replays with its copy of the application's
// configuration file; the device's own files are copied under root/.
TEST(Capture, MovedBundleReplays) {
    SimDevice device;
    const std::string config = device.dir() + "/app.ini";
    writeFile(config, "[Device]\nPlatformPackageVersion = 9.9-recorded\n");
    const std::string state =
        readFile(VELQUAR_PROFILES_DIR "/1080p-wifi.state") + "config_path = " + config + "\n";
    device.setState(state);
    const std::string original = device.dir() + "/original.state";
    std::ofstream(original) << state;
    const RootView view = runInRootView({"config"}, [&] {
        writeFile("/config/sys.ini", "[model]\ngModelName = /config/m/model.ini\n");
        writeFile("/config/m/model.ini", "[panel]\nm_pPanelName = /config/p/panel.ini\n");
        writeFile("/config/p/panel.ini", "[panel]\nm_bPanelSupportsOLED = 1\n");
        // Copies keep their source's permission bits, never wider.
        ASSERT_EQ(chmod("/config/m/model.ini", 0640), 0);
        ASSERT_EQ(chmod("/config/p/panel.ini", 0600), 0);
        ASSERT_EQ(chmod(config.c_str(), 0604), 0);
        const std::string bundle = device.dir() + "/bundle";
        ProgramRun run = capture(device, "--bundle " + bundle);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(capture(device, "--bundle " + bundle).status, 0);
        for (const char *file : {"/config/sys.ini", "/config/m/model.ini", "/config/p/panel.ini"}) {
            EXPECT_EQ(readFile(bundle + "/root" + file), readFile(file)) << file;
        }
        const mode_t mask = umask(0);
        umask(mask);
        const std::pair<std::string, mode_t> modes[] = {
            {"/root/config/sys.ini", 0644},
            {"/root/config/m/model.ini", 0640},
            {"/root/config/p/panel.ini", 0600},
            {"/config.ini", 0604},
            {"/root/config/m", 0755 & ~mask},  // a folder made for the copies
            {"", 0700},                        // the copies may be anybody's files
        };
        for (const auto &m : modes) {
            struct stat st;
            ASSERT_EQ(stat((bundle + m.first).c_str(), &st), 0) << m.first;
            EXPECT_EQ(st.st_mode & 07777, m.second) << m.first;
        }
        std::string expected = document(original, device.dir() + "/a");
        ASSERT_EQ(mkdir((device.dir() + "/moved").c_str(), 0755), 0);
        const std::string moved = device.dir() + "/moved/b";
        ASSERT_EQ(rename(bundle.c_str(), moved.c_str()), 0);
        EXPECT_EQ(readFile(moved + "/config.ini"), readFile(config));
        // Only the line that names the configuration file tells them apart.
        const size_t at = expected.find(config);
        ASSERT_NE(at, std::string::npos) << expected;
        expected.replace(at, config.size(), moved + "/config.ini");
        EXPECT_EQ(document(moved + "/capture.state", device.dir() + "/b"), expected);
        EXPECT_NE(expected.find("9.9-recorded"), std::string::npos);
    });
    if (view == RootView::NotPermitted) {
        GTEST_SKIP() << "needs root for a private mount namespace";
    }
}

// The bundle holds a copy of each device file the library reads that is a
// readable regular file of at most 1 MiB; any other is named with its
// reason and not copied.
TEST(Capture, BundleCopiesOnlyWhatItCouldRead) {
    const std::string model = "[model]\ngModelName = ";
    const std::string configPath = "/cusdata/applications/Orvane/config.ini";
    struct Case {
        const char *name;
        const char *state;
        std::string sysIni;
        std::string message;  // a line of standard error
        std::string copied;   // a file copied under root/, or empty
        std::string left;     // a file not copied, or empty
    };
    const Case cases[] = {
        {"MissingFile", "", model + "/config/none.ini\n",
         "velquar-capture: /config/none.ini: No such file or directory\n", "/config/sys.ini",
         "/config/none.ini"},
        {"ReadError", "", model + "/proc/self/mem\n",
         "velquar-capture: /proc/self/mem: Input/output error\n", "/config/sys.ini",
         "/proc/self/mem"},
        {"LargestFile", "", iniPaddedTo(1 << 20, "[model]\n"),
         "velquar-capture: /config/sys.ini: copied to root/config/sys.ini\n", "/config/sys.ini",
         ""},
        {"FileTooLarge", "", iniPaddedTo((1 << 20) + 1, "[model]\n"),
         "velquar-capture: /config/sys.ini: File too large\n", "", "/config/sys.ini"},
        // A name with .. is not followed: the file it names is not read for the next.
        {"NameWithDots", "",
         model + "/config/../config/sys.ini\n[panel]\nm_pPanelName = " + configPath + "\n",
         "velquar-capture: /config/../config/sys.ini: not an absolute path without . or ..\n",
         "/config/sys.ini", configPath},
        // Without a file named by the service, the library loads the default.
        {"DefaultConfiguration", "config_path.result = -1\n", "[model]\n",
         "velquar-capture: " + configPath + ": copied to root" + configPath + "\n", configPath, ""},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        SimDevice device(k.state);
        const RootView view = runInRootView({"config", "cusdata"}, [&] {
            writeFile("/config/sys.ini", k.sysIni);
            writeFile(configPath, "[Device]\nDeviceMode = Prod\n");
            const std::string bundle = device.dir() + "/bundle";
            ProgramRun run = capture(device, "--bundle " + bundle);
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_NE(run.err.find(k.message), std::string::npos) << run.err;
            struct stat st;
            if (!k.copied.empty()) {
                EXPECT_EQ(readFile(bundle + "/root" + k.copied), readFile(k.copied));
            }
            EXPECT_TRUE(k.left.empty() || lstat((bundle + "/root" + k.left).c_str(), &st) != 0);
        });
        if (view == RootView::NotPermitted) {
            GTEST_SKIP() << "needs root for a private mount namespace";
        }
    }
}

// As root in a folder another user may write, the bundle goes only into the
// folder the recorder made: what stands in its place before, or is swapped in
// after its mkdir (the preload plays that user), gets nothing, and a failed
// capture leaves no bundle behind.
TEST(Capture, BundleIsWrittenOnlyIntoTheFolderItMade) {
    struct Case {
        const char *name;
        const char *prefix;   // shell text before the program
        const char *swapTo;   // VELQUAR_SWAP_TO for the preload, or null
        const char *inPlace;  // "folder", "link" or "" before the run
        int status;
        std::string message;           // a part of standard error
        const char *left;              // what stands at the bundle's path afterwards
        const char *exitAt = nullptr;  // where a platform library ends the process
    };
    const std::string replaced =
        "something else took the place of the folder made there; nothing written\n";
    const Case cases[] = {
        {"Made", "", nullptr, "", 0, "velquar-capture: /config/sys.ini: copied", "bundle"},
        {"FolderThere", "", nullptr, "folder", 1, ": File exists\n", "foreign"},
        {"LinkThere", "", nullptr, "link", 1, ": File exists\n", "link"},
        {"SwappedForAFolder", "", "user-folder", "", 1, replaced, "foreign"},
        {"SwappedForALink", "", "link", "", 1, replaced, "link"},
        {"SwappedForOwnFolder", "", "root-folder", "", 1, replaced, "kept"},
        // Standard error goes to the pipe, which no limit holds; standard
        // output has nothing to carry.
        {"StateFileTooLarge", "{ ulimit -f 0; exec ", nullptr, "", 1,
         "velquar-capture: cannot write the state file: File too large\n", "nothing"},
        // A platform library that ends the process leaves no bundle and no success.
        {"EndedWhileLoaded", "", nullptr, "", 1,
         "velquar-capture: the platform library ended the process during the load of the platform "
         "libraries\n",
         "nothing", "load"},
        {"EndedDuringACall", "", nullptr, "", 1,
         "velquar-capture: the platform library ended the process during the calls\n", "nothing",
         "call"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        SimDevice device;
        const RootView view = runInRootView({"config"}, [&] {
            writeFile("/config/sys.ini", "[model]\n");
            const std::string parent = device.dir() + "/shared";
            const std::string bundle = parent + "/b", theirs = parent + "/theirs";
            ASSERT_EQ(system(("mkdir -m 777 " + parent + " && mkdir " + theirs +
                              " && chown 65534:65534 " + parent + " " + theirs)
                                 .c_str()),
                      0);
            if (strcmp(k.inPlace, "folder") == 0) {
                ASSERT_EQ(rename(theirs.c_str(), bundle.c_str()), 0);
            } else if (strcmp(k.inPlace, "link") == 0) {
                ASSERT_EQ(symlink(theirs.c_str(), bundle.c_str()), 0);
            }
            std::vector<std::string> settings;
            std::string program = VELQUAR_CAPTURE_PATH;
            if (k.swapTo) {
                settings = preloading(device, VELQUAR_SWAP_PRELOAD_PATH);
                settings.push_back(std::string("VELQUAR_SWAP_TO=") + k.swapTo);
            } else if (k.exitAt && strcmp(k.exitAt, "call") == 0) {
                settings = preloading(device, VELQUAR_PRELOAD_PATH);
                settings.push_back("VELQUAR_PRELOAD_EXIT=1");
            } else if (k.exitAt) {
                // A copy of the program beside a libAppIpc.so that exits as it loads.
                program = device.dir() + "/bin/velquar-capture";
                writeFile(program, readFile(VELQUAR_CAPTURE_PATH));
                writeFile(device.dir() + "/lib/libAppIpc.so", readFile(VELQUAR_STUB_LIBRARY));
                ASSERT_EQ(chmod(program.c_str(), 0755), 0);
                settings = {"VELQUAR_STUB_EXIT=load"};
            }
            std::string command =
                k.prefix + programCommand(program, settings) + " --bundle " + bundle;
            ProgramRun run =
                runCommand(*k.prefix ? command + " 2>&1; }" : command, device.dir() + "/err");
            if (*k.prefix) {
                run.err.swap(run.out);
            }
            EXPECT_EQ(run.status, k.status) << run.err;
            EXPECT_NE(run.err.find(k.message), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
            // Nothing of the capture anywhere but in a bundle it made.
            ProgramRun files = runCommand("find " + parent + " -mindepth 1 | sort", "/dev/null");
            struct stat st;
            const std::string left = k.left;
            if (left == "bundle") {
                ASSERT_EQ(lstat(bundle.c_str(), &st), 0);
                EXPECT_TRUE(S_ISDIR(st.st_mode));
                EXPECT_EQ(st.st_uid, 0u);
                EXPECT_EQ(st.st_mode & 07777, 0700u);
                EXPECT_EQ(readFile(bundle + "/root/config/sys.ini"), "[model]\n");
            } else if (left == "nothing") {
                EXPECT_NE(lstat(bundle.c_str(), &st), 0) << files.out;
            } else {
                // Only what the other user or the preload put there.
                for (const char *mine : {"capture.state", "/root", "config.ini"}) {
                    EXPECT_EQ(files.out.find(mine), std::string::npos) << files.out;
                }
                ASSERT_EQ(lstat(bundle.c_str(), &st), 0);
                EXPECT_EQ(S_ISLNK(st.st_mode), left == "link");
                if (left == "kept") {
                    EXPECT_NE(files.out.find(bundle + "/kept\n"), std::string::npos) << files.out;
                }
            }
        });
        if (view == RootView::NotPermitted) {
            GTEST_SKIP() << "needs root for a private mount namespace";
        }
    }
}

// The recorder calls what the dynamic linker binds, a preloaded function
// included, and keeps what the platform prints out of the state file;
// standard output that cannot take the state file is a failure.
TEST(Capture, RecordsAPreloadedCallAndKeepsItsOutputOut) {
    SimDevice device;
    ProgramRun run =
        runCommand(programCommand(VELQUAR_CAPTURE_PATH, preloading(device, VELQUAR_PRELOAD_PATH)),
                   device.dir() + "/err");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\ncapability.hex = 00050000d00200000000000000000000\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("preloaded"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("preloaded capability query\n"), std::string::npos) << run.err;
    run = capture(device, ">/dev/full");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\nvelquar-capture: write error on standard output: No space left on "
                           "device\n"),
              std::string::npos)
        << run.err;
}

// Help and version, and the failures before the platform is asked: a copy
// of the program that does not find its libraries, bad options, no
// standard output.
TEST(Capture, CommandLinesThatNeedNoPlatform) {
    SimDevice device;
    const std::string alone = device.dir() + "/velquar-capture";
    std::ofstream(alone, std::ios::binary) << readFile(VELQUAR_CAPTURE_PATH);
    ASSERT_EQ(chmod(alone.c_str(), 0755), 0);
    struct Case {
        const char *args;
        int status;
        const char *message;  // what standard error begins with, standard output on success
        bool alone = false;   // run the copy
    };
    const Case cases[] = {
        {"--version", 0, "velquar-capture " VELQUAR_PROJECT_VERSION "\n"},
        {"--vers", 0, "velquar-capture " VELQUAR_PROJECT_VERSION "\n"},
        {"-h", 0, "usage: velquar-capture "},
        {"--help", 0, "usage: velquar-capture "},
        {"", 1, "velquar-capture: cannot load libAppIpc.so: ", true},
        {"--bogus", 2,
         "velquar-capture: unknown option --bogus\n"
         "Try 'velquar-capture --help' for more information.\n"},
        {"-x", 2, "velquar-capture: unknown option -x\n"},
        {"--help=me", 2, "velquar-capture: --help takes no value\n"},
        {"stray", 2, "velquar-capture: stray is not an option\n"},
        {"-- --bundle", 2, "velquar-capture: --bundle is not an option\n"},
        {"--bundle", 2, "velquar-capture: --bundle needs one folder\n"},
        {"--bund", 2, "velquar-capture: --bundle needs one folder\n"},
        {"--bundle /tmp/a --bundle /tmp/b", 2, "velquar-capture: --bundle needs one folder\n"},
        {"--bundle /nonexistent/b", 1, "velquar-capture: cannot make "},
        {"--bundle=/nonexistent/b", 1, "velquar-capture: cannot make /nonexistent/b: "},
        // Without standard output the state file has nowhere to go.
        {">&-", 1, "velquar-capture: cannot set standard output aside: Bad file descriptor\n"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.args);
        ProgramRun run =
            runCommand(programCommand(k.alone ? alone : VELQUAR_CAPTURE_PATH) + " " + k.args,
                       device.dir() + "/err");
        EXPECT_EQ(run.status, k.status);
        EXPECT_EQ((k.status ? run.err : run.out).rfind(k.message, 0), 0u) << run.err << run.out;
        EXPECT_EQ(k.status ? run.out : run.err, "");
        // A usage error is two lines, the second the way to the help.
        EXPECT_EQ(run.err.find("\nTry 'velquar-capture --help' for more information.\n"),
                  k.status == 2 ? run.err.find('\n') : std::string::npos)
            << run.err;
    }
    EXPECT_TRUE(device.log().empty());
}

}  // namespace
