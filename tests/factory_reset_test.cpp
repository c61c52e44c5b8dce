// factory-reset run as a process in a temporary folder, against the libAPM
// and libteec stand-ins driven by a state file.
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "emulator.h"
#include "sim_device.h"
#include "tool_trees.h"

namespace fs = std::filesystem;
using velquar_test::preloadSetting;
using velquar_test::programCommand;
using velquar_test::setAcl;
using velquar_test::SimDevice;
using velquar_test::words;

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

    // Runs the tool in the working folder, after prefix, with settings in its
    // environment; standard error goes to err.
    std::string run(const std::string &args = "", const std::string &prefix = "",
                    int expectedStatus = 0, const std::vector<std::string> &settings = {}) {
        // Redirected around the prefix, which may leave the shell no descriptors.
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

    void make(const std::string &paths) const { velquar_test::makeTree(work, words(paths)); }
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
    const std::string noContext = factory + kInitFailed + kNoSession;
    const Lines initOnly = {"TEEC_InitializeContext"};
    const std::string allFail = velquar_test::readFile(VELQUAR_ALL_FAIL_PROFILE);
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
        {"context fails", "teec.initialize.result = 0xFFFF0000", noContext, initOnly},
        {"session fails",
         "teec.open_session.result = 0xFFFF3024\nteec.open_session.origin = 3",
         factory + kOpenFailed + kNoSession,
         {"TEEC_InitializeContext", "TEEC_OpenSession", "TEEC_FinalizeContext"}},
        {"command fails", "teec.invoke.result = 0xFFFF0006", factory + kInvokeFailed, kTeeAll},
        // Failing manager calls change nothing; the TEE context cannot be set up.
        {"all-fail profile", allFail.c_str(), noContext, initOnly},
    };
    for (const Scenario &s : scenarios) {
        SCOPED_TRACE(s.name);
        Workspace ws(s.state, "OTA=x;y\nFactoryReset=f\n");
        EXPECT_EQ(ws.run(s.args), s.out);
        EXPECT_EQ(ws.calls("APM_"), kApmCalls);
        EXPECT_EQ(ws.calls("TEEC_"), s.tee);
    }
}

// Command 35 goes to the reset trusted application; each callback entry answers 0.
TEST(FactoryReset, SendsCommand35AndAnswersEveryCallbackWithZero) {
    Workspace reset("");
    EXPECT_EQ(reset.run(), typeLine("FactoryReset") + kTeeInit);
    EXPECT_EQ(reset.device.calls("TEEC_"),
              (Lines{"TEEC_InitializeContext name=opteearmtz00 -> ret=0x00000000",
                     "TEEC_OpenSession context=open uuid=b03123e1-1018-4aa7-9d3d-044345b7f58f "
                     "login=0 data=null operation=null -> ret=0x00000000 origin=4 session=1",
                     "TEEC_InvokeCommand session=1 command=35 "
                     "operation=started=0,paramTypes=0x0000,rest=zero -> ret=0x00000000 origin=4",
                     "TEEC_CloseSession session=1", "TEEC_FinalizeContext context=open"}));
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

// Special files are left in place, even in folders that are removed otherwise.
TEST(FactoryReset, EmptiesListedFoldersAndLeavesSpecialFiles) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "creating a device node needs root";
    }
    // Also where the file system reports no entry types: the kind of each
    // entry comes from its status then.
    for (const Lines &settings : {Lines{}, Lines{preloadSetting(VELQUAR_PRELOAD_WALK)}}) {
        SCOPED_TRACE(settings.size());
        Workspace ws("", "FactoryReset=listed;listedfile;slashed/\n");
        ws.make(
            "listed/file listed/.hidden listed/nested/deeper/file listed/nested/empty/ "
            "listed/fifo| listed/keeps/fifo| listedfile slashed/sub/file slashed/file");
        const std::pair<const char *, mode_t> nodes[] = {
            {"listed/sock", S_IFSOCK}, {"listed/null", S_IFCHR}, {"listed/keeps/loop", S_IFBLK}};
        for (const auto &[path, mode] : nodes) {
            ASSERT_EQ(mknod((ws.work / path).c_str(), mode | 0600, makedev(1, 3)), 0) << path;
        }
        EXPECT_EQ(ws.run("", "", 0, settings), typeLine("FactoryReset") + clearLine("listed") +
                                                   clearLine("listedfile") + clearLine("slashed/") +
                                                   kTeeInit);
        EXPECT_EQ(ws.tree(), words("listed/ listed/fifo| listed/keeps/ listed/keeps/fifo| "
                                   "listed/keeps/loop% listed/null% listed/sock= slashed/"));
        EXPECT_EQ(ws.err, "");
    }
}

// reset_config.ini of the working folder given mode, then owner and group
// (-1: as they are).
template <mode_t mode, int uid, int gid>
void configOf(const fs::path &work) {
    ASSERT_EQ(chmod((work / "reset_config.ini").c_str(), mode), 0);
    ASSERT_EQ(chown((work / "reset_config.ini").c_str(), uid, gid), 0);
}

// OTA resets over a tree in the working folder, as the tree shows them after.
// A folder that is there but cannot be opened or read to its end keeps
// what it holds, and says why on standard error; only a path that leads
// nowhere is "missing". Resolving a path holds no descriptor after it. A
// link inside a listed folder goes as the link it is; its target stays.
//
// reset_config.ini is read only as a regular file (a FIFO would block), of
// root's that no other user may write, and only up to 64 KiB: a larger one,
// however sparse, is refused at once and nothing is cleared. A refused file
// fails the run; a missing one or one that is no regular file does not.
TEST(FactoryReset, ClearsListedPathsAndReportsWhatStays) {
    // Root reads any folder; without these capabilities it cannot.
    const std::string noOverride =
        geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
    std::string manyPaths = "OTA=";
    Lines missing;
    for (int n = 0; n < 40; ++n) {  // a file named as a folder is missing too
        missing.push_back(n % 2 ? "a/b/c/file/" : "a/b/c/missing" + std::to_string(n));
        manyPaths += missing.back() + ";";
    }
    const auto deep = [](const fs::path &w) { velquar_test::chain(w / "listed", 3000); };
    const std::string ini = "[ERROR][ResetOrvane] reset_config.ini ";
    const std::string refused = ini + "refused: ";
    const std::string large = refused + "larger than 65536 bytes\n";
    const std::string writers = refused + "users other than root may write it\n";
    const std::string owner =
        refused + "owned by neither root nor the user running factory-reset\n";
    const std::string x = "OTA=x\n";
    const std::string bound = std::string(65536 - 12, '#') + "\nOTA=y";
    const std::string timed = "timeout 10 ";  // and done within a second
    const struct {
        const char *name;
        std::string config;  // reset_config.ini, none where empty
        std::string out;     // after the type line
        std::string err;
        int status;
        std::string tree;
        std::string make = "";                         // makeTree's paths, split at blanks
        void (*more)(const fs::path &work) = nullptr;  // after make
        bool needsRoot = false;                        // files of other users' are made
        std::string prefix = "";
        std::string locked = "";     // mode 0 for the run
        const char *walk = nullptr;  // the walk preload's folder getdents fails for
    } cases[] = {
        {"no permission", "OTA=listed;locked\n", clearLine("listed") + clearLine("locked"),
         leftLine("listed/locked", EACCES) + leftLine("locked", EACCES), 1,
         "listed/ listed/locked/ listed/locked/secret locked/ locked/secret",
         "listed/file listed/locked/secret locked/secret", nullptr, false, noOverride,
         "listed/locked locked"},
        {"a read error", "OTA=bad;listed\n", clearLine("bad") + clearLine("listed"),
         leftLine("bad", EBADMSG) + leftLine("listed/sub/bad", EBADMSG), 1,
         "bad/ bad/file listed/ listed/sub/ listed/sub/bad/ listed/sub/bad/file",
         "bad/file listed/file listed/sub/bad/file", nullptr, false, "", "", "bad"},
        // Closes what the test runner may have left open.
        {"no descriptor left", "OTA=listed\n", clearLine("listed"), leftLine("listed", EMFILE), 1,
         "listed/ listed/file", "listed/file", nullptr, false,
         "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&- && ulimit -n 4 && "},
        {"40 paths under a limit of 8 descriptors", manyPaths, clearedMissing(missing), "", 0,
         "a/ a/b/ a/b/c/ a/b/c/file", "a/b/c/file", nullptr, false, "ulimit -n 8 && "},
        // The folder of a listed file may then be descriptor 0.
        {"standard input closed", "OTA=file\n", clearLine("file"), "", 0, "", "file", nullptr,
         false, "exec <&- && "},
        // A NUL inside an item names no file; the folder before it stays as
        // it is, and the line shows the whole item.
        {"an item with a NUL", std::string("OTA=kept\0/cleared;cleared\n", 26),
         clearedMissing({"kept\\x00/cleared"}) + clearLine("cleared"), "", 0,
         "cleared/ kept/ kept/file", "kept/file cleared/file"},
        // A listed file in a folder: that one goes, not the one of its name
        // here; a listed link of root's is followed.
        {"links", "OTA=listed;vialink;sub/file\n",
         clearLine("listed") + clearLine("vialink") + clearLine("sub/file"), "", 0,
         "file listed/ outside/ outside/keep outside/sub/ outside/sub/keep outsidefile real/ sub/ "
         "vialink@",
         "outside/keep outside/sub/keep outsidefile real/file listed/nested/ sub/file file "
         "listed/tofolder@../outside listed/nested/relative@../../outside "
         "listed/tofile@../outsidefile listed/dangling@../nowhere",
         [](const fs::path &w) { fs::create_directory_symlink(w / "real", w / "vialink"); }},
        // Files past 2 GiB (sparse here), listed or inside a listed folder,
        // are deleted like any other: on the 32-bit television too.
        {"files of 3 GiB", "OTA=listed;big\n", clearLine("listed") + clearLine("big"), "", 0,
         "listed/", "big listed/big listed/sub/big",
         [](const fs::path &w) {
             for (const char *p : {"big", "listed/big", "listed/sub/big"}) {
                 fs::resize_file(w / p, 3ull << 30);
             }
         }},
        // Deeper than the descriptor limit, and as a listed folder emptied
        // under it, even when only a handful of descriptors are left.
        {"3,000 deep", "OTA=listed\n", clearLine("listed"), "", 0, "listed/",
         "listed/wide/a listed/wide/b", deep},
        {"3,000 deep, 16 descriptors", "OTA=listed\n", clearLine("listed"), "", 0, "listed/",
         "listed/wide/a listed/wide/b", deep, false, "ulimit -n 16 && "},
        {"3,000 deep, 8 descriptors", "OTA=listed\n", clearLine("listed"), "", 0, "listed/",
         "listed/wide/a listed/wide/b", deep, false, "ulimit -n 8 && "},
        {"configuration a FIFO", "", "", ini + "is not a regular file: no folder is listed\n", 0,
         "", "reset_config.ini|", nullptr, false, timed},
        {"configuration missing", "", "",
         ini + "cannot be read (No such file or directory): no folder is listed\n", 0, ""},
        {"configuration just under the bound", x + bound, clearedMissing({"y"}), "", 0, ""},
        {"configuration one byte over", x + "#" + bound, "", large, 1, "", "", nullptr, false,
         timed},
        {"configuration of 1 TiB, sparse", x, "", large, 1, "", "",
         [](const fs::path &w) { fs::resize_file(w / "reset_config.ini", 1ull << 40); }, false,
         timed},
        {"configuration world writable", x, "", writers, 1, "", "", configOf<0666, -1, -1>},
        {"configuration group writable, root's group", x, clearedMissing({"x"}), "", 0, "", "",
         configOf<0664, 0, 0>, true},
        {"configuration group writable, a user's group", x, "", writers, 1, "", "",
         configOf<0664, 0, 65534>, true},
        {"configuration user 1's", x, "", owner, 1, "", "", configOf<0644, 1, 0>, true},
        {"configuration another user's", x, "", owner, 1, "", "", configOf<0644, 65534, 0>, true},
        {"a user may write the configuration through an ACL", x, "", writers, 1, "", "",
         [](const fs::path &w) { setAcl((w / "reset_config.ini").string(), ACL_USER, 65534, 6); }},
        {"an ACL whose mask takes the write", x, clearedMissing({"x"}), "", 0, "", "",
         [](const fs::path &w) {
             setAcl((w / "reset_config.ini").string(), ACL_GROUP, 65534, 6, 4);
         }},
        // A user's link in a folder of theirs leads only to their own files:
        // a file of root's whose text they chose (/proc/PID/cmdline) is not.
        {"configuration a user's link to a file of root's", "", "",
         refused + "reached through a link another user may have put there\n", 1, "cmdline", "",
         [](const fs::path &w) {
             std::ofstream(w / "cmdline") << "OTA=x\n";
             fs::create_symlink("cmdline", w / "reset_config.ini");
             ASSERT_EQ(lchown((w / "reset_config.ini").c_str(), 65534, 65534), 0);
             ASSERT_EQ(chown(w.c_str(), 65534, 65534), 0);
         },
         true},
        {"configuration root's link", "", clearedMissing({"x"}), "", 0, "config", "",
         [](const fs::path &w) {
             std::ofstream(w / "config") << "OTA=x\n";
             fs::create_symlink("config", w / "reset_config.ini");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && geteuid() != 0) {
            continue;
        }
#ifdef VELQUAR_ASAN_RUNTIME
        // UndefinedBehaviorSanitizer probes memory through a pipe in the
        // stand-in's first read: under a limit of 4 that, not the tool, fails.
        if (c.prefix.find("ulimit -n 4") != std::string::npos) {
            continue;
        }
#endif
        Workspace ws("apm.messages = 4 OTA");
        if (!c.config.empty()) {
            std::ofstream(ws.work / "reset_config.ini", std::ios::binary) << c.config;
        }
        ws.make(c.make);
        if (c.more) {
            c.more(ws.work);
        }
        for (const std::string &p : words(c.locked)) {
            chmod((ws.work / p).c_str(), 0);
        }
        std::vector<std::string> settings;
        if (c.walk) {
            settings = {preloadSetting(VELQUAR_PRELOAD_WALK),
                        "VELQUAR_UNREADABLE=" + std::string(c.walk)};
        }
        const auto start = std::chrono::steady_clock::now();
        const std::string out = ws.run("", c.prefix, c.status, settings);
        if (c.prefix == timed) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        }
        for (const std::string &p : words(c.locked)) {
            chmod((ws.work / p).c_str(), 0755);
        }
        EXPECT_EQ(out, typeLine("OTA") + c.out);
        EXPECT_EQ(ws.tree(), words(c.tree));
        EXPECT_EQ(ws.err, c.err);
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
    ws.make(
        "secret/file user/own/file pub/ grp/ rootgrp/ shared/file ours/file acluser/ "
        "aclgroup/ aclmasked/ rootlink@secret");
    setAcl((w / "acluser").string(), ACL_USER, 65534, 7);
    setAcl((w / "aclgroup").string(), ACL_GROUP, 65534, 7);
    setAcl((w / "aclmasked").string(), ACL_USER, 65534, 7, 5);
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
    EXPECT_EQ(ws.tree(),
              words("aclgroup/ aclgroup/cache@ aclmasked/ aclmasked/cache@ acluser/ acluser/cache@ "
                    "grp/ grp/cache@ ours/ pub/ pub/cache@ pub/root@ rootgrp/ rootgrp/cache@ "
                    "rootlink@ secret/ secret/file shared/ user/ user/hop@ user/own/ user/toown@ "
                    "user/tosecret@"));
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
    ws.make("bound/file bound/root/");
    ASSERT_EQ(mount("/", (ws.work / "bound/root").c_str(), nullptr, MS_BIND, nullptr), 0);
    EXPECT_EQ(ws.run("", "", 1), typeLine("FactoryReset") + clearLine("/") + clearLine("toroot") +
                                     clearLine("/tmp/../..") + clearLine("bound") + kTeeInit);
    EXPECT_TRUE(fs::exists("/velquar-sentinel"));
    EXPECT_EQ(ws.err, leftLine("/", EBUSY) + leftLine("toroot", EBUSY) +
                          leftLine("/tmp/../..", EBUSY) + leftLine("bound/root", EBUSY));
    ASSERT_EQ(umount((ws.work / "bound/root").c_str()), 0);
    EXPECT_EQ(ws.tree(), (Lines{"bound/", "bound/root/", "toroot@"}));
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
    ws.make(
        "listed/a/immutable listed/a/gone listed/appendonly listed/ro/file listed/ro/sub/file "
        "listed/z/gone");
    using velquar_test::setAttributes;
    if (!setAttributes(w / "listed/a/immutable", FS_IMMUTABLE_FL) ||
        !setAttributes(w / "listed/appendonly", FS_APPEND_FL)) {
        GTEST_SKIP() << "no file attributes on tmpfs here";
    }
    const fs::path ro = w / "listed/ro";
    ASSERT_EQ(mount(ro.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(mount(nullptr, ro.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr), 0);

    const std::string out = ws.run("", "", 1);
    setAttributes(w / "listed/a/immutable", 0);
    setAttributes(w / "listed/appendonly", 0);
    EXPECT_EQ(out, typeLine("FactoryReset") + clearLine("listed") + clearLine("listed/ro/file") +
                       kTeeInit);
    EXPECT_EQ(ws.calls("TEEC_"), kTeeAll);
    // In the order of the walk, which is the file system's; sorted here.
    std::istringstream err(ws.err);
    Lines lines;
    for (std::string line; std::getline(err, line);) {
        lines.push_back(line + "\n");
    }
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (Lines{leftLine("listed/a/immutable", EPERM), leftLine("listed/appendonly", EPERM),
                     leftLine("listed/ro/file", EROFS), leftLine("listed/ro/file", EROFS),
                     leftLine("listed/ro/sub/file", EROFS)}));
    ASSERT_EQ(umount(ro.c_str()), 0);
    EXPECT_EQ(ws.tree(), words("listed/ listed/a/ listed/a/immutable listed/appendonly listed/ro/ "
                               "listed/ro/file listed/ro/sub/ listed/ro/sub/file"));
}
