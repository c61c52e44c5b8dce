// factory-reset run as a process in a temporary folder, against the libAPM
// and libteec stand-ins driven by a state file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emulator.h"
#include "sim_device.h"

namespace fs = std::filesystem;
using velquar_test::programCommand;
using velquar_test::SimDevice;

namespace {

using Lines = std::vector<std::string>;

const auto typeLine = [](std::string t) { return "[ResetOrvane] Reset Type = " + t + " \n"; };
const auto clearLine = [](std::string p) { return "[ResetOrvane] Clear folder: " + p + " \n"; };
const std::string kTeeInit = "[ResetOrvane] TEE init context with device [opteearmtz00]\n";
const std::string kInitFailed = "[ERROR][ResetOrvane] TEEC_InitializeContext() Failed\n";
const std::string kOpenFailed = "[ERROR][ResetOrvane] TEEC_OpenSession() Failed\n";
const std::string kNoSession = "[ERROR][ResetOrvane] Failed to open TEE session\n";
const std::string kInvokeFailed = "[ERROR][ResetOrvane] TEEC_InvokeCommand() Failed\n";

// Clearing folders that do not exist, as the output shows it.
std::string clearedMissing(const Lines &paths) {
    std::string out;
    for (const std::string &p : paths) {
        out +=
            clearLine(p) + "[ERROR][ResetOrvane] deleteRecursive path isn't exist. (" + p + ") \n";
    }
    return out;
}

// A device (state file and call log) with a working folder for the tool.
struct Workspace {
    explicit Workspace(const std::string &state, const char *config = nullptr)
        : device(state), work(device.dir() + "/work") {
        fs::create_directory(work);
        if (config) {
            std::ofstream(work / "reset_config.ini", std::ios::binary) << config;
        }
    }

    // Runs the tool in the working folder; prefix goes before the program.
    std::string run(const std::string &args = "", const std::string &prefix = "") {
        const std::string command = "cd '" + work.string() + "' && " + prefix +
                                    programCommand(VELQUAR_FACTORY_RESET_PATH) + args;
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

    // Creates each path below the working folder: a folder when it ends in
    // '/', else a file holding "data".
    void make(const Lines &paths) const {
        for (const std::string &p : paths) {
            fs::create_directories((work / p).parent_path());
            if (p.back() != '/') {
                std::ofstream(work / p) << "data";
            }
        }
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

// The all-fail profile that ships with the simulator.
std::string allFailProfile() {
    std::ifstream in(VELQUAR_ALL_FAIL_PROFILE);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Scenario {
    const char *name;
    const char *state;
    std::string out;
    Lines tee;  // the TEE Client API calls, in order
    const char *args = "";
};

}  // namespace

TEST(FactoryReset, ScenariosPrintTheirLinesAndCallTheTee) {
    const std::string factory = typeLine("FactoryReset") + clearedMissing({"f"}) + kTeeInit;
    const std::string ota = typeLine("OTA") + clearedMissing({"x", "y"});
    const std::string allFail = allFailProfile();
    ASSERT_NE(allFail.find("apm.join.result"), std::string::npos) << VELQUAR_ALL_FAIL_PROFILE;
    const Scenario scenarios[] = {
        {"default device", "", factory, kTeeAll},
        {"arguments ignored", "", factory, kTeeAll, " --help OTA"},
        {"nothing delivered", "apm.messages =", "", {}},
        {"OTA", "apm.messages = 4 OTA", ota, {}},
        {"lower-case ota", "apm.messages = 4 ota", typeLine("ota"), {}},
        {"other code", "apm.messages = 3 FactoryReset", "", {}},
        {"null text", "apm.messages = 4", "", {}},
        {"last delivery wins", "apm.messages = 4 FactoryReset | 4 OTA", ota, {}},
        {"ignored deliveries keep it", "apm.messages = 4 OTA | 3 FactoryReset | 4", ota, {}},
        {"from the manager's thread", "apm.deliver = thread\napm.messages = 4 OTA", ota, {}},
        {"inside APM_Join", "apm.deliver = join\napm.messages = 4 OTA", ota, {}},
        {"too late, inside APM_Leave", "apm.deliver = leave", "", {}},
        {"not the owner", "apm.is_resource_owner = 0\napm.join.result = -1", factory, kTeeAll},
        {"context fails",
         "teec.initialize.result = 0xFFFF0000",
         factory + kInitFailed + kNoSession,
         {"TEEC_InitializeContext"}},
        {"session fails",
         "teec.open_session.result = 0xFFFF3024\nteec.open_session.origin = 3",
         factory + kOpenFailed + kNoSession,
         {"TEEC_InitializeContext", "TEEC_OpenSession", "TEEC_FinalizeContext"}},
        {"command fails", "teec.invoke.result = 0xFFFF0006", factory + kInvokeFailed, kTeeAll},
        // Failing manager calls change nothing; the TEE context cannot be set up.
        {"all-fail profile",
         allFail.c_str(),
         factory + kInitFailed + kNoSession,
         {"TEEC_InitializeContext"}},
    };
    for (const Scenario &s : scenarios) {
        SCOPED_TRACE(s.name);
        Workspace ws(s.state, "OTA=x;y\nFactoryReset=f\n");
        EXPECT_EQ(ws.run(s.args), s.out);
        EXPECT_EQ(ws.calls("APM_"), kApmCalls);
        EXPECT_EQ(ws.calls("TEEC_"), s.tee);
    }
}

TEST(FactoryReset, SendsCommand35ToTheResetTrustedApplication) {
    Workspace ws("");
    EXPECT_EQ(ws.run(), typeLine("FactoryReset") + kTeeInit);
    EXPECT_EQ(ws.device.calls("TEEC_"),
              (Lines{"TEEC_InitializeContext name=opteearmtz00 -> ret=0x00000000",
                     "TEEC_OpenSession context=open uuid=b03123e1-1018-4aa7-9d3d-044345b7f58f "
                     "login=0 data=null operation=null -> ret=0x00000000 origin=4 session=1",
                     "TEEC_InvokeCommand session=1 command=35 "
                     "operation=started=0,paramTypes=0x0000,rest=zero -> ret=0x00000000 origin=4",
                     "TEEC_CloseSession session=1", "TEEC_FinalizeContext context=open"}));
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
        {"OTA=/a=b;c\n", {"/a=b", "c"}},
        {"OTA=a; b;a\n", {"a", " b", "a"}},
        {"OTA=x\nOTA=\n", {"x"}},
        {"OTA=x\nOTA=;\n", {}},
        {"OTA=x\nOTA=y", {"y"}},
        // Control characters and a backslash show as escapes.
        {"OTA=x\r\n", {"x\\x0d"}},
        {"OTA=a\x1b[2J\x7f\t;c\\d\n", {"a\\x1b[2J\\x7f\\x09", "c\\\\d"}},
        {"OTA = x\nota=x\n OTA=x\nOTA\n=OTA\n\n", {}},
        {"[OTA]\n# OTA=c\nOTA=x\n", {"x"}},
        {"FactoryReset=f\nOTA=o\nFactoryReset=g\n", {"o"}},
        {nullptr, {}},  // no file
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.config ? c.config : "no file");
        Workspace ws("apm.messages = 4 OTA", c.config);
        EXPECT_EQ(ws.run(), typeLine("OTA") + clearedMissing(c.folders));
    }
}

// A NUL inside an item names no file; the folder before it stays as it is,
// and the line shows the whole item.
TEST(FactoryReset, AnItemWithANulIsMissing) {
    Workspace ws("apm.messages = 4 OTA");
    ws.make({"kept/file", "cleared/file"});
    const std::string config("OTA=kept\0/cleared;cleared\n", 26);
    std::ofstream(ws.work / "reset_config.ini", std::ios::binary) << config;
    EXPECT_EQ(ws.run(),
              typeLine("OTA") + clearedMissing({"kept\\x00/cleared"}) + clearLine("cleared"));
    EXPECT_EQ(ws.tree(), (Lines{"cleared/", "kept/", "kept/file"}));
}

// Special files are left in place, even in folders that are removed otherwise.
TEST(FactoryReset, EmptiesListedFoldersAndLeavesSpecialFiles) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "creating a device node needs root";
    }
    Workspace ws("", "FactoryReset=listed;listedfile;slashed/\n");
    ws.make({"listed/file", "listed/.hidden", "listed/nested/deeper/file", "listed/nested/empty/",
             "listed/keeps/", "listedfile", "slashed/sub/file", "slashed/file"});
    const struct {
        const char *path;
        mode_t mode;
    } nodes[] = {{"listed/fifo", S_IFIFO},
                 {"listed/keeps/fifo", S_IFIFO},
                 {"listed/sock", S_IFSOCK},
                 {"listed/null", S_IFCHR},
                 {"listed/keeps/loop", S_IFBLK}};
    for (const auto &n : nodes) {
        ASSERT_EQ(mknod((ws.work / n.path).c_str(), n.mode | 0600, makedev(1, 3)), 0) << n.path;
    }
    EXPECT_EQ(ws.run(), typeLine("FactoryReset") + clearLine("listed") + clearLine("listedfile") +
                            clearLine("slashed/") + kTeeInit);
    EXPECT_EQ(ws.tree(), (Lines{"listed/", "listed/fifo|", "listed/keeps/", "listed/keeps/fifo|",
                                "listed/keeps/loop%", "listed/null%", "listed/sock=", "slashed/"}));
}

// A link inside a listed folder goes as the link it is; its target stays.
TEST(FactoryReset, RemovesLinksWithoutTouchingTheirTargets) {
    Workspace ws("apm.messages = 4 OTA", "OTA=listed;vialink\n");
    const fs::path w = ws.work;
    ws.make({"outside/keep", "outside/sub/keep", "outsidefile", "real/file", "listed/nested/"});
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
    Workspace ws("apm.messages = 4 OTA", "OTA=listed;locked\n");
    const fs::path w = ws.work;
    ws.make({"listed/file", "listed/locked/secret", "locked/secret"});
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

// Files past 2 GiB (sparse here), listed or inside a listed folder, are
// deleted like any other: on the 32-bit television too.
TEST(FactoryReset, DeletesFilesOfMoreThanTwoGibibytes) {
    Workspace ws("apm.messages = 4 OTA", "OTA=listed;big\n");
    ws.make({"big", "listed/big", "listed/sub/big"});
    for (const char *p : {"big", "listed/big", "listed/sub/big"}) {
        fs::resize_file(ws.work / p, 3ull << 30);
    }
    EXPECT_EQ(ws.run(), typeLine("OTA") + clearLine("listed") + clearLine("big"));
    EXPECT_EQ(ws.tree(), Lines{"listed/"});
}

// Deeper than the descriptor limit, and as a listed folder emptied under it.
TEST(FactoryReset, RemovesTreesDeeperThanTheDescriptorLimit) {
    Workspace ws("apm.messages = 4 OTA", "OTA=listed\n");
    ws.make({"listed/wide/a", "listed/wide/b"});
    int fd = open((ws.work / "listed").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < 3000 && fd >= 0; ++level) {
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    close(openat(fd, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    close(fd);
    EXPECT_EQ(ws.run("", "ulimit -n 1024 && "), typeLine("OTA") + clearLine("listed"));
    EXPECT_EQ(ws.tree(), Lines{"listed/"});
}

// A user who owns the folder holding a listed link may point it only at what
// is theirs; root's links lead anywhere (vialink, above).
TEST(FactoryReset, FollowsAListedLinkOnlyWhereItIsSafe) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving files to another user needs root";
    }
    Workspace ws("apm.messages = 4 OTA", "OTA=user/tosecret;user/hop;user/toown\n");
    const fs::path w = ws.work;
    ws.make({"secret/file", "user/own/file"});
    fs::create_directory_symlink("secret", w / "rootlink");
    fs::create_directory_symlink("../secret", w / "user/tosecret");
    fs::create_directory_symlink("../rootlink", w / "user/hop");
    fs::create_directory_symlink("own", w / "user/toown");
    for (const char *p :
         {"user", "user/own", "user/own/file", "user/tosecret", "user/hop", "user/toown"}) {
        ASSERT_EQ(lchown((w / p).c_str(), 65534, 65534), 0) << p;
    }
    EXPECT_EQ(ws.run(), typeLine("OTA") + clearedMissing({"user/tosecret", "user/hop"}) +
                            clearLine("user/toown"));
    EXPECT_EQ(ws.tree(), (Lines{"rootlink@", "secret/", "secret/file", "user/", "user/hop@",
                                "user/own/", "user/toown@", "user/tosecret@"}));
}

// Run where / is a copy that can be written, over a tmpfs: the real root
// stays out of reach even if the tool did empty its /.
TEST(FactoryReset, NeverEmptiesTheRootFolder) {
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0) {
        GTEST_SKIP() << "no private mount namespace (needs root)";
    }
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "mode=0755"), 0);
    for (const char *dir : {"/tmp/upper", "/tmp/work", "/tmp/root"}) {
        ASSERT_EQ(mkdir(dir, 0755), 0);
    }
    if (mount("overlay", "/tmp/root", "overlay", 0,
              "lowerdir=/,upperdir=/tmp/upper,workdir=/tmp/work") != 0) {
        GTEST_SKIP() << "no overlay file system over /";
    }
    // The sanitizers' runtime reads /proc; nothing there can be removed.
    ASSERT_EQ(mount("proc", "/tmp/root/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr),
              0);
    ASSERT_EQ(chroot("/tmp/root"), 0);
    ASSERT_EQ(chdir("/"), 0);
    struct statfs root {};
    ASSERT_EQ(statfs("/", &root), 0);
    ASSERT_EQ(root.f_type, 0x794c7630) << "/ is not the overlay: the tool is not run";
    std::ofstream("/velquar-sentinel") << "x";

    Workspace ws("", "FactoryReset=/;toroot;/tmp/../..\n");
    fs::create_directory_symlink("/", ws.work / "toroot");
    EXPECT_EQ(ws.run(), typeLine("FactoryReset") + clearLine("/") + clearLine("toroot") +
                            clearLine("/tmp/../..") + kTeeInit);
    EXPECT_TRUE(fs::exists("/velquar-sentinel"));
    EXPECT_EQ(ws.tree(), Lines{"toroot@"});
}

// reset_config.ini is read only as a regular file (a FIFO would block), and a
// line over 1 MiB is skipped without being held: the lines after it count.
TEST(FactoryReset, ReadsOnlyARegularConfigurationWithBoundedLines) {
    Workspace fifo("apm.messages = 4 OTA");
    ASSERT_EQ(mkfifo((fifo.work / "reset_config.ini").c_str(), 0644), 0);
    EXPECT_EQ(fifo.run("", "timeout 10 "), typeLine("OTA"));

    const std::string longLine = "OTA=" + std::string(1 << 20, 'a') + "\n";
    Workspace skipped("apm.messages = 4 OTA", ("OTA=x\n" + longLine).c_str());
    EXPECT_EQ(skipped.run(), typeLine("OTA") + clearedMissing({"x"}));

    // 128 MiB of one line, sparse on disk.
    Workspace huge("apm.messages = 4 OTA");
    const fs::path config = huge.work / "reset_config.ini";
    std::ofstream(config) << "OTA=x\n";
    fs::resize_file(config, 128u << 20);
    std::ofstream(config, std::ios::app) << "\nOTA=y\n";
    EXPECT_EQ(huge.run(), typeLine("OTA") + clearedMissing({"y"}));
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak KiB of a child";
}
