// factory-reset run as a process in a temporary folder, against the libAPM
// and libteec stand-ins driven by a state file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emulator.h"
#include "sim_device.h"
#include "tool_trees.h"

namespace fs = std::filesystem;
using velquar_test::preloadSetting;
using velquar_test::programCommand;
using velquar_test::setAcl;
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

    // Runs the tool in the working folder; prefix goes before the program,
    // settings into its environment. Keeps its standard error in err.
    std::string run(const std::string &args = "", const std::string &prefix = "",
                    int expectedStatus = 0, const std::vector<std::string> &settings = {}) {
        // Redirected around the prefix, which may leave the shell too few
        // descriptors to redirect anything itself.
        const velquar_test::ProgramRun done = velquar_test::runCommand(
            "cd '" + work.string() + "' && { " + prefix +
                programCommand(VELQUAR_FACTORY_RESET_PATH, settings) + args + "; }",
            device.dir() + "/stderr");
        EXPECT_EQ(done.status, expectedStatus);
        err = done.err;
        return done.out;
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
    void make(const Lines &paths) const { velquar_test::makeTree(work, paths); }
    // Every path below the working folder but the config file, marked.
    Lines tree() const { return velquar_test::listTree(work, "reset_config.ini"); }

    SimDevice device;
    fs::path work;
    std::string err;  // standard error of the last run
};

// The line on standard error for an entry left, errno named by its text.
std::string leftLine(const std::string &path, int error) {
    return "[ERROR][ResetOrvane] not removed: " + path + " (" + strerror(error) + ")\n";
}

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
        // C1 controls (NEL, CSI) and bytes that are not UTF-8 too; other
        // UTF-8 shows as it is.
        {"OTA=a\xc2\x85"
         "b;\xc2\x9b"
         "2J;caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xba\n",
         {"a\\xc2\\x85b", "\\xc2\\x9b2J", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xba"}},
        // The Unicode line and paragraph separators end a line for a Unicode-aware reader.
        {"OTA=a\xe2\x80\xa8"
         "b;c\xe2\x80\xa9;d\xe2\x80\xaa\n",
         {"a\\xe2\\x80\\xa8b", "c\\xe2\\x80\\xa9", "d\xe2\x80\xaa"}},
        {"OTA=\xff;\xc0\xaf;\xed\xa0\x80;\xe2\x82;\xf4\x90\x80\x80\n",
         {"\\xff", "\\xc0\\xaf", "\\xed\\xa0\\x80", "\\xe2\\x82", "\\xf4\\x90\\x80\\x80"}},
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
    // Also where the file system reports no entry types: the kind of each
    // entry comes from its status then.
    for (const std::string &preload : {std::string(), preloadSetting(VELQUAR_PRELOAD_WALK)}) {
        SCOPED_TRACE(preload);
        Workspace ws("", "FactoryReset=listed;listedfile;slashed/\n");
        ws.make({"listed/file", "listed/.hidden", "listed/nested/deeper/file",
                 "listed/nested/empty/", "listed/keeps/", "listedfile", "slashed/sub/file",
                 "slashed/file"});
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
        const std::vector<std::string> settings =
            preload.empty() ? std::vector<std::string>() : std::vector<std::string>{preload};
        EXPECT_EQ(ws.run("", "", 0, settings), typeLine("FactoryReset") + clearLine("listed") +
                                                   clearLine("listedfile") + clearLine("slashed/") +
                                                   kTeeInit);
        EXPECT_EQ(ws.tree(),
                  (Lines{"listed/", "listed/fifo|", "listed/keeps/", "listed/keeps/fifo|",
                         "listed/keeps/loop%", "listed/null%", "listed/sock=", "slashed/"}));
        EXPECT_EQ(ws.err, "");
    }
}

// A link inside a listed folder goes as the link it is; its target stays.
TEST(FactoryReset, RemovesLinksWithoutTouchingTheirTargets) {
    Workspace ws("apm.messages = 4 OTA", "OTA=listed;vialink;sub/file\n");
    const fs::path w = ws.work;
    // A listed file in a folder: that one goes, not the one of its name here.
    ws.make({"outside/keep", "outside/sub/keep", "outsidefile", "real/file", "listed/nested/",
             "sub/file", "file"});
    fs::create_directory_symlink(w / "outside", w / "listed/tofolder");
    fs::create_directory_symlink("../../outside", w / "listed/nested/relative");
    fs::create_symlink(w / "outsidefile", w / "listed/tofile");
    fs::create_symlink(w / "nowhere", w / "listed/dangling");
    fs::create_directory_symlink(w / "real", w / "vialink");

    EXPECT_EQ(ws.run(),
              typeLine("OTA") + clearLine("listed") + clearLine("vialink") + clearLine("sub/file"));
    EXPECT_EQ(ws.tree(), (Lines{"file", "listed/", "outside/", "outside/keep", "outside/sub/",
                                "outside/sub/keep", "outsidefile", "real/", "sub/", "vialink@"}));
    EXPECT_EQ(ws.err, "");
}

// A folder that is there but cannot be opened or read to its end keeps
// what it holds, and says why on standard error; only a path that leads
// nowhere is "missing". Resolving a path holds no descriptor after it.
TEST(FactoryReset, SkipsFoldersThatCannotBeOpened) {
    // Root reads any folder; without these capabilities it cannot.
    const std::string noOverride =
        geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
    std::string manyPaths = "OTA=";
    Lines missing;
    for (int n = 0; n < 40; ++n) {  // a file named as a folder is missing too
        missing.push_back(n % 2 ? "a/b/c/file/" : "a/b/c/missing" + std::to_string(n));
        manyPaths += missing.back() + ";";
    }
    const struct {
        const char *name;
        std::string config;
        Lines make;
        Lines locked;  // mode 0 for the run
        std::string prefix;
        const char *unreadable;  // a folder name getdents fails for
        std::string out;
        Lines tree;
        std::string err;
        int status;
    } cases[] = {
        {"no permission",
         "OTA=listed;locked\n",
         {"listed/file", "listed/locked/secret", "locked/secret"},
         {"listed/locked", "locked"},
         noOverride,
         nullptr,
         clearLine("listed") + clearLine("locked"),
         {"listed/", "listed/locked/", "listed/locked/secret", "locked/", "locked/secret"},
         leftLine("listed/locked", EACCES) + leftLine("locked", EACCES),
         1},
        {"a read error",
         "OTA=bad;listed\n",
         {"bad/file", "listed/file", "listed/sub/bad/file"},
         {},
         "",
         "bad",
         clearLine("bad") + clearLine("listed"),
         {"bad/", "bad/file", "listed/", "listed/sub/", "listed/sub/bad/", "listed/sub/bad/file"},
         leftLine("bad", EBADMSG) + leftLine("listed/sub/bad", EBADMSG),
         1},
        {"no descriptor left",
         "OTA=listed\n",
         {"listed/file"},
         {},
         // Closes what the test runner may have left open.
         "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&- && ulimit -n 4 && ",
         nullptr,
         clearLine("listed"),
         {"listed/", "listed/file"},
         leftLine("listed", EMFILE),
         1},
        {"40 paths under a limit of 8 descriptors",
         manyPaths,
         {"a/b/c/file"},
         {},
         "ulimit -n 8 && ",
         nullptr,
         clearedMissing(missing),
         {"a/", "a/b/", "a/b/c/", "a/b/c/file"},
         "",
         0},
        // The folder of a listed file may then be descriptor 0.
        {"standard input closed",
         "OTA=file\n",
         {"file"},
         {},
         "exec <&- && ",
         nullptr,
         clearLine("file"),
         {},
         "",
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
#ifdef VELQUAR_ASAN_RUNTIME
        // UndefinedBehaviorSanitizer probes memory through a pipe in the
        // stand-in's first read: under a limit of 4 that, not the tool, fails.
        if (c.prefix.find("ulimit -n 4") != std::string::npos) {
            continue;
        }
#endif
        Workspace ws("apm.messages = 4 OTA", c.config.c_str());
        ws.make(c.make);
        for (const std::string &p : c.locked) {
            chmod((ws.work / p).c_str(), 0);
        }
        std::vector<std::string> settings;
        if (c.unreadable) {
            settings = {preloadSetting(VELQUAR_PRELOAD_WALK),
                        "VELQUAR_UNREADABLE=" + std::string(c.unreadable)};
        }
        const std::string out = ws.run("", c.prefix, c.status, settings);
        for (const std::string &p : c.locked) {
            chmod((ws.work / p).c_str(), 0755);
        }
        EXPECT_EQ(out, typeLine("OTA") + c.out);
        EXPECT_EQ(ws.tree(), c.tree);
        EXPECT_EQ(ws.err, c.err);
    }
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

// Deeper than the descriptor limit, and as a listed folder emptied under it,
// even when only a handful of descriptors are left for the walk.
TEST(FactoryReset, RemovesTreesDeeperThanTheDescriptorLimit) {
    for (const char *limit : {"1024", "16", "8"}) {
        SCOPED_TRACE(limit);
        Workspace ws("apm.messages = 4 OTA", "OTA=listed\n");
        ws.make({"listed/wide/a", "listed/wide/b"});
        velquar_test::chain(ws.work / "listed", 3000);
        EXPECT_EQ(ws.run("", "ulimit -n " + std::string(limit) + " && "),
                  typeLine("OTA") + clearLine("listed"));
        EXPECT_EQ(ws.tree(), Lines{"listed/"});
        EXPECT_EQ(ws.err, "");
    }
}

// A user who owns the folder holding a listed link may point it only at what
// is theirs; root's links lead anywhere (vialink, above). A user's link in a
// folder of root's that others may write (by its mode or by an ACL that its
// mask lets through) is not followed at all, unless only root's group may
// write there. A refused link keeps its folder: reported, and the run fails.
TEST(FactoryReset, FollowsAListedLinkOnlyWhereItIsSafe) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving files to another user needs root";
    }
    Workspace ws("apm.messages = 4 OTA");
    const fs::path w = ws.work;
    ws.make({"secret/file", "user/own/file", "pub/", "grp/", "rootgrp/", "shared/file", "ours/file",
             "acluser/", "aclgroup/", "aclmasked/"});
    setAcl((w / "acluser").string(), ACL_USER, 65534, 7);
    setAcl((w / "aclgroup").string(), ACL_GROUP, 65534, 7);
    setAcl((w / "aclmasked").string(), ACL_USER, 65534, 7, 5);
    fs::create_directory_symlink("secret", w / "rootlink");
    const struct {
        const char *link;
        const char *target;
        uid_t owner;
        bool followed;
    } links[] = {
        {"user/tosecret", "../secret", 65534, false},
        {"user/hop", "../rootlink", 65534, false},
        {"user/toown", "own", 65534, true},
        {"pub/cache", "../secret", 65534, false},      // mode 1777, as /tmp
        {"pub/root", "../ours", 0, true},              // root's own link there
        {"grp/cache", "../secret", 65534, false},      // 0775, a user's group
        {"rootgrp/cache", "../shared", 65534, true},   // 0775, root's group
        {"acluser/cache", "../secret", 65534, false},  // shows as 0775 root:root
        {"aclgroup/cache", "../secret", 65534, false},
        {"aclmasked/cache", "../shared", 65534, true},  // the mask takes the write
    };
    std::string config = "OTA=";
    std::string out = typeLine("OTA");
    std::string err;
    for (const auto &l : links) {
        fs::create_directory_symlink(l.target, w / l.link);
        ASSERT_EQ(lchown((w / l.link).c_str(), l.owner, l.owner), 0) << l.link;
        config += std::string(l.link) + ";";
        out += clearLine(l.link);
        err += l.followed ? "" : leftLine(l.link, EPERM);
    }
    std::ofstream(w / "reset_config.ini") << config << "\n";
    for (const char *p : {"user", "user/own", "user/own/file"}) {
        ASSERT_EQ(lchown((w / p).c_str(), 65534, 65534), 0) << p;
    }
    ASSERT_EQ(chmod((w / "pub").c_str(), 01777), 0);
    ASSERT_EQ(chown((w / "grp").c_str(), 0, 65534), 0);
    ASSERT_EQ(chmod((w / "grp").c_str(), 0775), 0);
    ASSERT_EQ(chmod((w / "rootgrp").c_str(), 0775), 0);
    EXPECT_EQ(ws.run("", "", 1), out);
    EXPECT_EQ(ws.err, err);
    EXPECT_EQ(ws.tree(), (Lines{"aclgroup/",     "aclgroup/cache@",
                                "aclmasked/",    "aclmasked/cache@",
                                "acluser/",      "acluser/cache@",
                                "grp/",          "grp/cache@",
                                "ours/",         "pub/",
                                "pub/cache@",    "pub/root@",
                                "rootgrp/",      "rootgrp/cache@",
                                "rootlink@",     "secret/",
                                "secret/file",   "shared/",
                                "user/",         "user/hop@",
                                "user/own/",     "user/toown@",
                                "user/tosecret@"}));
}

// Run where / is a copy that can be written, over a tmpfs: the real root
// stays out of reach even if the tool did empty its /.
TEST(FactoryReset, NeverEmptiesTheRootFolder) {
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0) {
        GTEST_SKIP() << "no private mount namespace (needs root)";
    }
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "mode=0755"), 0);
    if (!velquar_test::overlayRoot("/tmp")) {
        GTEST_SKIP() << "no overlay file system over /";
    }
    ASSERT_EQ(chroot("/tmp/root"), 0);
    ASSERT_EQ(chdir("/"), 0);
    struct statfs root {};
    ASSERT_EQ(statfs("/", &root), 0);
    ASSERT_EQ(root.f_type, 0x794c7630) << "/ is not the overlay: the tool is not run";
    std::ofstream("/velquar-sentinel") << "x";

    // The root folder also bound below a listed folder: that one is
    // emptied, the root left alone.
    Workspace ws("", "FactoryReset=/;toroot;/tmp/../..;bound\n");
    fs::create_directory_symlink("/", ws.work / "toroot");
    ws.make({"bound/file", "bound/root/"});
    ASSERT_EQ(mount("/", (ws.work / "bound/root").c_str(), nullptr, MS_BIND, nullptr), 0);
    EXPECT_EQ(ws.run("", "", 1), typeLine("FactoryReset") + clearLine("/") + clearLine("toroot") +
                                     clearLine("/tmp/../..") + clearLine("bound") + kTeeInit);
    EXPECT_TRUE(fs::exists("/velquar-sentinel"));
    EXPECT_EQ(ws.err, leftLine("/", EBUSY) + leftLine("toroot", EBUSY) +
                          leftLine("/tmp/../..", EBUSY) + leftLine("bound/root", EBUSY));
    ASSERT_EQ(umount((ws.work / "bound/root").c_str()), 0);
    EXPECT_EQ(ws.tree(), (Lines{"bound/", "bound/root/", "toroot@"}));
}

// reset_config.ini is read only as a regular file (a FIFO would block), of
// root's that no other user may write, and only up to 64 KiB: a larger one,
// however sparse, is refused at once and nothing is cleared. A refused file
// fails the run; a missing one or one that is no regular file does not.
TEST(FactoryReset, ReadsOnlyASafeConfigurationOfBoundedSize) {
    const std::string refusedLarge =
        "[ERROR][ResetOrvane] reset_config.ini refused: larger than 65536 bytes\n";
    const std::string refusedWriters =
        "[ERROR][ResetOrvane] reset_config.ini refused: users other than root may write it\n";
    const std::string refusedOwner =
        "[ERROR][ResetOrvane] reset_config.ini refused: owned by "
        "neither root nor the user running factory-reset\n";
    const struct {
        const char *name;
        void (*make)(const fs::path &config);
        std::string out;
        int status;
        std::string err;
        bool needsRoot = false;
    } cases[] = {
        {"FIFO", [](const fs::path &c) { ASSERT_EQ(mkfifo(c.c_str(), 0644), 0); }, "", 0,
         "[ERROR][ResetOrvane] reset_config.ini is not a regular file: no folder is listed\n"},
        {"missing", [](const fs::path &) {}, "", 0,
         "[ERROR][ResetOrvane] reset_config.ini cannot be read (No such file or directory): no "
         "folder is listed\n"},
        {"just under the bound",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n" << std::string(65536 - 12, '#') << "\nOTA=y";
         },
         clearedMissing({"y"}), 0, ""},
        {"one byte over",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n" << std::string(65536 - 11, '#') << "\nOTA=y";
         },
         "", 1, refusedLarge},
        {"1 TiB, sparse",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             fs::resize_file(c, 1ull << 40);
         },
         "", 1, refusedLarge},
        {"world writable",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             ASSERT_EQ(chmod(c.c_str(), 0666), 0);
         },
         "", 1, refusedWriters},
        {"group writable, root's group",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             ASSERT_EQ(chown(c.c_str(), 0, 0), 0);
             ASSERT_EQ(chmod(c.c_str(), 0664), 0);
         },
         clearedMissing({"x"}), 0, "", true},
        {"group writable, a user's group",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             ASSERT_EQ(chown(c.c_str(), 0, 65534), 0);
             ASSERT_EQ(chmod(c.c_str(), 0664), 0);
         },
         "", 1, refusedWriters, true},
        {"user 1's",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             ASSERT_EQ(chown(c.c_str(), 1, 0), 0);
         },
         "", 1, refusedOwner, true},
        {"another user's",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             ASSERT_EQ(chown(c.c_str(), 65534, 0), 0);
             ASSERT_EQ(chmod(c.c_str(), 0644), 0);
         },
         "", 1, refusedOwner, true},
        {"a user may write it through an ACL",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             setAcl(c.string(), ACL_USER, 65534, 6);
         },
         "", 1, refusedWriters},
        {"an ACL whose mask takes the write",
         [](const fs::path &c) {
             std::ofstream(c) << "OTA=x\n";
             setAcl(c.string(), ACL_GROUP, 65534, 6, 4);
         },
         clearedMissing({"x"}), 0, ""},
        // A user's link in a folder of theirs leads only to their own files:
        // a file of root's whose text they chose (/proc/PID/cmdline) is not.
        {"a user's link to a file of root's",
         [](const fs::path &c) {
             std::ofstream(c.parent_path() / "cmdline") << "OTA=x\n";
             fs::create_symlink("cmdline", c);
             ASSERT_EQ(lchown(c.c_str(), 65534, 65534), 0);
             ASSERT_EQ(chown(c.parent_path().c_str(), 65534, 65534), 0);
         },
         "", 1,
         "[ERROR][ResetOrvane] reset_config.ini refused: reached through a link another user may "
         "have put there\n",
         true},
        {"root's link",
         [](const fs::path &c) {
             std::ofstream(c.parent_path() / "config") << "OTA=x\n";
             fs::create_symlink("config", c);
         },
         clearedMissing({"x"}), 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && geteuid() != 0) {
            continue;  // files of other users' cannot be made
        }
        Workspace ws("apm.messages = 4 OTA");
        c.make(ws.work / "reset_config.ini");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ws.run("", "timeout 10 ", c.status), typeLine("OTA") + c.out);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(ws.err, c.err);
    }
}

// Entries that cannot be removed are each reported on standard error and
// fail the run (a folder that stays because of them gets no line of its
// own); the reset still goes on to its end, command 35 included.
TEST(FactoryReset, ReportsEveryEntryLeftAndFailsTheRun) {
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0) {
        GTEST_SKIP() << "no private mount namespace (needs root)";
    }
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    Workspace ws("", "FactoryReset=listed\n");
    const fs::path w = ws.work;
    ASSERT_EQ(mount("tmpfs", w.c_str(), "tmpfs", 0, "mode=0755"), 0);
    std::ofstream(w / "reset_config.ini") << "FactoryReset=listed;listed/ro/file\n";
    ws.make({"listed/a/immutable", "listed/a/gone", "listed/appendonly", "listed/ro/file",
             "listed/ro/sub/file", "listed/z/gone"});
    const struct {
        const char *path;
        int flag;
    } flags[] = {{"listed/a/immutable", FS_IMMUTABLE_FL}, {"listed/appendonly", FS_APPEND_FL}};
    for (const auto &f : flags) {
        const int fd = open((w / f.path).c_str(), O_RDONLY | O_CLOEXEC);
        int attributes = f.flag;
        if (fd < 0 || ioctl(fd, FS_IOC_SETFLAGS, &attributes) != 0) {
            GTEST_SKIP() << "no file attributes on tmpfs here";
        }
        close(fd);
    }
    const fs::path ro = w / "listed/ro";
    ASSERT_EQ(mount(ro.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(mount(nullptr, ro.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);

    const std::string out = ws.run("", "", 1);
    for (const auto &f : flags) {
        const int fd = open((w / f.path).c_str(), O_RDONLY | O_CLOEXEC);
        int attributes = 0;
        ioctl(fd, FS_IOC_SETFLAGS, &attributes);
        close(fd);
    }
    EXPECT_EQ(out, typeLine("FactoryReset") + clearLine("listed") + clearLine("listed/ro/file") +
                       kTeeInit);
    EXPECT_EQ(ws.calls("TEEC_"), kTeeAll);
    // In the order of the walk, which is the file system's; sorted here.
    std::string err = ws.err;
    Lines lines;
    for (size_t at = 0, end; (end = err.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(err.substr(at, end - at + 1));
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (Lines{leftLine("listed/a/immutable", EPERM), leftLine("listed/appendonly", EPERM),
                     leftLine("listed/ro/file", EROFS), leftLine("listed/ro/file", EROFS),
                     leftLine("listed/ro/sub/file", EROFS)}));
    ASSERT_EQ(umount(ro.c_str()), 0);
    EXPECT_EQ(ws.tree(),
              (Lines{"listed/", "listed/a/", "listed/a/immutable", "listed/appendonly",
                     "listed/ro/", "listed/ro/file", "listed/ro/sub/", "listed/ro/sub/file"}));
}
