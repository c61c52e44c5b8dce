// factory-reset run as a process in a temporary folder, against the libAPM
// and libteec stand-ins driven by a state file.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim_device.h"

namespace fs = std::filesystem;
using velquar_test::SimDevice;

namespace {

using Lines = std::vector<std::string>;

std::string typeLine(const std::string &t) {
    return "[ResetOrvane] Reset Type = " + t + " \n";
}
std::string clearLine(const std::string &p) {
    return "[ResetOrvane] Clear folder: " + p + " \n";
}
std::string missingLine(const std::string &p) {
    return "[ERROR][ResetOrvane] deleteRecursive path isn't exist. (" + p + ") \n";
}
const std::string kTeeInit = "[ResetOrvane] TEE init context with device [opteearmtz00]\n";
const std::string kInitFailed = "[ERROR][ResetOrvane] TEEC_InitializeContext() Failed\n";
const std::string kOpenFailed = "[ERROR][ResetOrvane] TEEC_OpenSession() Failed\n";
const std::string kNoSession = "[ERROR][ResetOrvane] Failed to open TEE session\n";
const std::string kInvokeFailed = "[ERROR][ResetOrvane] TEEC_InvokeCommand() Failed\n";

// Clearing folders that do not exist, as the output shows it.
std::string clearedMissing(const Lines &paths) {
    std::string out;
    for (const std::string &p : paths) {
        out += clearLine(p) + missingLine(p);
    }
    return out;
}

void writeFile(const fs::path &path, const std::string &content) {
    std::ofstream(path, std::ios::binary) << content;
}

// A device (state file and call log) with a working folder for the tool.
struct Workspace {
    explicit Workspace(const std::string &state, const std::string *config = nullptr)
        : device(state), work(device.dir() + "/work") {
        fs::create_directory(work);
        if (config) {
            writeFile(work / "reset_config.ini", *config);
        }
    }

    // Runs the tool in the working folder; prefix goes before the program.
    std::string run(const std::string &args = "", const std::string &prefix = "") {
        const std::string command =
            "cd '" + work.string() + "' && " + prefix + VELQUAR_FACTORY_RESET_PATH + args;
        fflush(stdout);
        FILE *pipe = popen(command.c_str(), "r");
        if (!pipe) {
            ADD_FAILURE() << "cannot run " << command;
            return "";
        }
        std::string out;
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            out.append(chunk, n);
        }
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        return out;
    }

    // The first word of each logged call whose name starts with prefix.
    Lines calls(const std::string &prefix) const {
        Lines names;
        for (const std::string &line : device.calls(prefix)) {
            names.push_back(line.substr(0, line.find(' ')));
        }
        return names;
    }

    // Every path below the working folder except the config file, with a
    // mark for its kind: '/' folder, '@' link, '|' FIFO, '=' socket, '%' device.
    Lines tree() const {
        Lines found;
        for (const auto &e : fs::recursive_directory_iterator(work)) {
            std::string name = e.path().lexically_relative(work).string();
            const fs::file_status st = e.symlink_status();
            const char *mark = fs::is_symlink(st)        ? "@"
                               : fs::is_directory(st)    ? "/"
                               : fs::is_fifo(st)         ? "|"
                               : fs::is_socket(st)       ? "="
                               : fs::is_regular_file(st) ? ""
                                                         : "%";
            if (name != "reset_config.ini") {
                found.push_back(name + mark);
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    SimDevice device;
    fs::path work;
};

const Lines kApmCalls = {"APM_Join", "APM_IsResourceOwner", "APM_Leave"};
const Lines kTeeAll = {"TEEC_InitializeContext", "TEEC_OpenSession", "TEEC_InvokeCommand",
                       "TEEC_CloseSession", "TEEC_FinalizeContext"};

struct Scenario {
    const char *name;
    const char *state;
    std::string out;
    Lines tee;  // the TEE Client API calls, in order
    const char *args;
};

const char kScenarioConfig[] = "OTA=x;y\nFactoryReset=f\n";

}  // namespace

TEST(FactoryReset, ScenariosPrintTheirLinesAndCallTheTee) {
    const std::string factory = typeLine("FactoryReset") + clearedMissing({"f"}) + kTeeInit;
    const std::string ota = typeLine("OTA") + clearedMissing({"x", "y"});
    const Scenario scenarios[] = {
        {"default device", "", factory, kTeeAll, ""},
        {"arguments ignored", "", factory, kTeeAll, " --help OTA"},
        {"nothing delivered", "apm.messages =", "", {}, ""},
        {"OTA", "apm.messages = 4 OTA", ota, {}, ""},
        {"lower-case ota", "apm.messages = 4 ota", typeLine("ota"), {}, ""},
        {"other code", "apm.messages = 3 FactoryReset", "", {}, ""},
        {"null text", "apm.messages = 4", "", {}, ""},
        {"last delivery wins", "apm.messages = 4 FactoryReset | 4 OTA", ota, {}, ""},
        {"ignored deliveries keep it", "apm.messages = 4 OTA | 3 FactoryReset | 4", ota, {}, ""},
        {"from the manager's thread", "apm.deliver = thread\napm.messages = 4 OTA", ota, {}, ""},
        {"inside APM_Join", "apm.deliver = join\napm.messages = 4 OTA", ota, {}, ""},
        {"too late, inside APM_Leave", "apm.deliver = leave", "", {}, ""},
        {"not the owner", "apm.is_resource_owner = 0\napm.join.result = -1", factory, kTeeAll, ""},
        {"context fails",
         "teec.initialize.result = 0xFFFF0000",
         factory + kInitFailed + kNoSession,
         {"TEEC_InitializeContext"},
         ""},
        {"session fails",
         "teec.open_session.result = 0xFFFF3024\nteec.open_session.origin = 3",
         factory + kOpenFailed + kNoSession,
         {"TEEC_InitializeContext", "TEEC_OpenSession", "TEEC_FinalizeContext"},
         ""},
        {"command fails", "teec.invoke.result = 0xFFFF0006", factory + kInvokeFailed, kTeeAll, ""},
    };
    for (const Scenario &s : scenarios) {
        SCOPED_TRACE(s.name);
        const std::string config = kScenarioConfig;
        Workspace ws(s.state, &config);
        EXPECT_EQ(ws.run(s.args), s.out);
        EXPECT_EQ(ws.calls("APM_"), kApmCalls);
        EXPECT_EQ(ws.calls("TEEC_"), s.tee);
    }
}

TEST(FactoryReset, SendsCommand35ToTheResetTrustedApplication) {
    Workspace ws("");
    EXPECT_EQ(ws.run(), typeLine("FactoryReset") + kTeeInit);
    const Lines tee = ws.device.calls("TEEC_");
    ASSERT_EQ(tee.size(), 5u);
    EXPECT_EQ(tee[0], "TEEC_InitializeContext name=opteearmtz00 -> ret=0x00000000");
    EXPECT_EQ(tee[1],
              "TEEC_OpenSession context=open uuid=b03123e1-1018-4aa7-9d3d-044345b7f58f login=0 "
              "data=null operation=null -> ret=0x00000000 origin=4 session=1");
    EXPECT_EQ(tee[2],
              "TEEC_InvokeCommand session=1 command=35 "
              "operation=started=0,paramTypes=0x0000,rest=zero -> ret=0x00000000 origin=4");
    EXPECT_EQ(tee[3], "TEEC_CloseSession session=1");
    EXPECT_EQ(tee[4], "TEEC_FinalizeContext context=open");
}

TEST(FactoryReset, EveryCallbackEntryAnswersZero) {
    Workspace ws("apm.other_entries = 1\napm.messages = 7 x");
    EXPECT_EQ(ws.run(), "");
    EXPECT_EQ(ws.device.calls("APM entry"),
              (Lines{"APM entry1 -> 0", "APM entry2 -> 0", "APM entry3 -> 0",
                     "APM entry4 value=1 -> 0", "APM entry5 value=1 -> 0"}));
    EXPECT_EQ(ws.device.calls("APM onMessage"),
              Lines{"APM onMessage code=7 text=\"x\" from=is_resource_owner -> 0"});
}

// The folder lists, as the "Clear folder" lines of an OTA reset show them.
TEST(FactoryReset, ReadsTheConfigurationByteForByte) {
    const struct {
        const char *config;
        Lines folders;
    } cases[] = {
        {"OTA=a;;b;\n", {"a", "b"}},
        {"OTA=;;;\n", {}},
        {"OTA=/a=b;c\n", {"/a=b", "c"}},
        {"OTA=a; b;a\n", {"a", " b", "a"}},
        {"OTA=x\nOTA=\n", {"x"}},
        {"OTA=x\nOTA=;\n", {}},
        {"OTA=x\nOTA=y", {"y"}},
        {"OTA=x\r\n", {"x\r"}},
        {"OTA = x\nota=x\n OTA=x\nOTA\n=OTA\n\n", {}},
        {"[OTA]\n# OTA=c\nOTA=x\n", {"x"}},
        {"FactoryReset=f\nOTA=o\nFactoryReset=g\n", {"o"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.config);
        const std::string config = c.config;
        Workspace ws("apm.messages = 4 OTA", &config);
        EXPECT_EQ(ws.run(), typeLine("OTA") + clearedMissing(c.folders));
    }
    Workspace none("apm.messages = 4 OTA");
    EXPECT_EQ(none.run(), typeLine("OTA"));
}

TEST(FactoryReset, EmptiesListedFoldersAndLeavesSpecialFiles) {
    const std::string config = "FactoryReset=listed;listedfile;slashed/\n";
    Workspace ws("", &config);
    const fs::path w = ws.work;
    fs::create_directories(w / "listed/nested/deeper");
    fs::create_directories(w / "listed/nested/empty");
    fs::create_directories(w / "listed/keeps");
    fs::create_directories(w / "slashed/sub");
    for (const char *f : {"listed/file", "listed/.hidden", "listed/nested/deeper/file",
                          "listedfile", "slashed/sub/file", "slashed/file"}) {
        writeFile(w / f, "data");
    }
    ASSERT_EQ(mkfifo((w / "listed/fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((w / "listed/keeps/fifo").c_str(), 0644), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (w / "listed/sock").string();
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(sock);
    EXPECT_EQ(ws.run(), typeLine("FactoryReset") + clearLine("listed") + clearLine("listedfile") +
                            clearLine("slashed/") + kTeeInit);
    EXPECT_EQ(ws.tree(), (Lines{"listed/", "listed/fifo|", "listed/keeps/", "listed/keeps/fifo|",
                                "listed/sock=", "slashed/"}));
}

TEST(FactoryReset, LeavesDeviceNodes) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "creating a device node needs root";
    }
    const std::string config = "OTA=listed\n";
    Workspace ws("apm.messages = 4 OTA", &config);
    fs::create_directories(ws.work / "listed/sub");
    ASSERT_EQ(mknod((ws.work / "listed/sub/null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    ASSERT_EQ(mknod((ws.work / "listed/loop").c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
    EXPECT_EQ(ws.run(), typeLine("OTA") + clearLine("listed"));
    EXPECT_EQ(ws.tree(), (Lines{"listed/", "listed/loop%", "listed/sub/", "listed/sub/null%"}));
}

// A link inside a listed folder goes as the link it is; its target stays.
TEST(FactoryReset, RemovesLinksWithoutTouchingTheirTargets) {
    const std::string config = "OTA=listed;vialink\n";
    Workspace ws("apm.messages = 4 OTA", &config);
    const fs::path w = ws.work;
    fs::create_directories(w / "outside/sub");
    fs::create_directories(w / "listed/nested");
    fs::create_directories(w / "real");
    for (const char *f : {"outside/keep", "outside/sub/keep", "outsidefile", "real/file"}) {
        writeFile(w / f, "data");
    }
    fs::create_directory_symlink(w / "outside", w / "listed/tofolder");
    fs::create_directory_symlink("../../outside", w / "listed/nested/relative");
    fs::create_symlink(w / "outsidefile", w / "listed/tofile");
    fs::create_symlink(w / "nowhere", w / "listed/dangling");
    fs::create_directory_symlink(w / "real", w / "vialink");

    EXPECT_EQ(ws.run(), typeLine("OTA") + clearLine("listed") + clearLine("vialink"));
    EXPECT_EQ(ws.tree(), (Lines{"listed/", "outside/", "outside/keep", "outside/sub/",
                                "outside/sub/keep", "outsidefile", "real/", "vialink@"}));
}

TEST(FactoryReset, SkipsFoldersThatCannotBeOpened) {
    const std::string config = "OTA=listed;locked\n";
    Workspace ws("apm.messages = 4 OTA", &config);
    const fs::path w = ws.work;
    fs::create_directories(w / "listed/locked");
    fs::create_directories(w / "locked");
    for (const char *f : {"listed/file", "listed/locked/secret", "locked/secret"}) {
        writeFile(w / f, "data");
    }
    chmod((w / "listed/locked").c_str(), 0);
    chmod((w / "locked").c_str(), 0);
    // Root reads any folder; without these capabilities it cannot.
    const std::string prefix =
        geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
    const std::string out = ws.run("", prefix);
    chmod((w / "listed/locked").c_str(), 0755);
    chmod((w / "locked").c_str(), 0755);
    EXPECT_EQ(out, typeLine("OTA") + clearLine("listed") + clearLine("locked"));
    EXPECT_EQ(ws.tree(), (Lines{"listed/", "listed/locked/", "listed/locked/secret", "locked/",
                                "locked/secret"}));
}
