// The dravel program run against a made-up eMMC device, in a private mount
// namespace per test: tmpfs over /sys/block holds the uevent files, tmpfs
// over /dev/shm receives DIR. Without root the tests skip.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "emulator.h"
#include "refuse_call.h"
#include "tool_trees.h"

namespace {

using Listing = std::map<std::string, std::string>;

// Runs dravel as velquar_test::runProgram runs a program.
std::string dravel(std::vector<const char *> argv, int status = 0, const std::string &setting = "",
                   void (*inChild)() = nullptr) {
    return velquar_test::runProgram(VELQUAR_DRAVEL_PATH, std::move(argv), status, setting, inChild);
}

// The entries of a listing as "NAME=WHAT, ..." in the order of their names.
std::string join(const Listing &found) {
    std::string text;
    for (const auto &[name, what] : found) {
        text += (text.empty() ? "" : ", ") + name + "=" + what;
    }
    return text;
}

// What lstat says of each entry of dir: "blk MODE RDEV" (octal permission
// bits, hexadecimal device number), "dir MODE", "link" or "file".
std::string list(const std::string &dir) {
    Listing found;
    std::error_code error;
    for (const auto &e : std::filesystem::directory_iterator(dir, error)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        char text[64];  // "dir MODE" is its first 8 characters
        snprintf(text, sizeof text, "%s %04o %llx", S_ISBLK(st.st_mode) ? "blk" : "dir",
                 st.st_mode & 07777, static_cast<unsigned long long>(st.st_rdev));
        found[e.path().filename()] = S_ISBLK(st.st_mode)   ? text
                                     : S_ISDIR(st.st_mode) ? std::string(text, 8)
                                     : S_ISLNK(st.st_mode) ? "link"
                                                           : "file";
    }
    return error ? "(cannot open " + dir + ")=" + error.message() : join(found);
}

// The uevent file of a partition as the kernel writes it.
std::string uevent(int n, int major, int minor, const std::string &name) {
    const std::string number = std::to_string(n);
    return "MAJOR=" + std::to_string(major) + "\nMINOR=" + std::to_string(minor) +
           "\nDEVNAME=mmcblk0p" + number + "\nDEVTYPE=partition\nDISKSEQ=9\nPARTN=" + number +
           "\nPARTNAME=" + name + "\n";
}

// Root as bound by permissions: folders it may not read stay closed to it.
void withoutOverride() {
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

// renameat2 with flags failing with error (EINVAL: a file system without them).
void refuseRenameFlags(int error) {
    velquar_test::refuseCall(__NR_renameat2, 4, 0, false, error);
}

// A fresh /dev/shm/by-name with a tmpfs mounted on it.
void mountByName(unsigned long flags, const char *options) {
    ASSERT_EQ(mkdir("/dev/shm/by-name", 0755), 0);
    ASSERT_EQ(mount("tmpfs", "/dev/shm/by-name", "tmpfs", flags, options), 0);
}

class Dravel : public ::testing::Test {
protected:
    void SetUp() override {
        if (unshare(CLONE_NEWNS) != 0) {
            GTEST_SKIP() << "no private mount namespace (needs root): " << strerror(errno);
        }
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << strerror(errno);
        for (const char *at : {"/sys/block", "/dev/shm"}) {
            ASSERT_EQ(mount("tmpfs", at, "tmpfs", 0, "mode=0755"), 0) << at << strerror(errno);
        }
        ASSERT_EQ(mkdir("/sys/block/mmcblk0", 0755), 0);
        ASSERT_EQ(chdir("/dev/shm"), 0);
        umask(022);
    }

    // Partition n of mmcblk0 with the given uevent file.
    static void partition(int n, const std::string &text) {
        const std::string dir = "/sys/block/mmcblk0/mmcblk0p" + std::to_string(n);
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        std::ofstream(dir + "/uevent") << text;
    }
};

// Without partition 1, no node either.
TEST_F(Dravel, WithoutArgumentPrintsTheBannerOnlyAndCreatesNothing) {
    partition(2, uevent(2, 179, 2, "system"));
    const std::string hashes(25, '#');
    EXPECT_EQ(dravel({}), hashes + "   Dravel Help   " + hashes +
                              "\nUsage: /Dravel/dravel [DIR]\n\nEx: /Dravel/dravel /dev/shm\n" +
                              std::string(66, '#') + " \n");
    EXPECT_EQ(list("/dev/shm"), "");
    EXPECT_EQ(dravel({"/dev/shm"}), "");
    EXPECT_EQ(list("/dev/shm/by-name"), "");
}

// Also where the file system reports no entry types, and with every node
// made in a folder that only root may enter and write.
TEST_F(Dravel, ReplacesByNameWithOneNodePerPartitionUpToTheFirstGap) {
    partition(1, uevent(1, 179, 1, "boot"));
    partition(2, uevent(2, 179, 2, "system"));
    partition(3, uevent(3, 259, 300, "userdata"));
    partition(5, uevent(5, 179, 5, "beyond_the_gap"));
    const std::string made = "node made in a folder of mode 0700, owner 0\n";
    const struct {
        std::string setting;
        std::string out;
    } runs[] = {{"", ""}, {velquar_test::preloadSetting(VELQUAR_PRELOAD_WALK), made + made + made}};
    for (const auto &run : runs) {
        SCOPED_TRACE(run.setting);
        // A stale by-name folder (mode 0700): a node, a folder, and links to a
        // file outside, which must survive the removal, and to a parent.
        ASSERT_EQ(mkdir("/dev/shm/by-name", 0700), 0);
        ASSERT_EQ(mknod("/dev/shm/by-name/boot", S_IFBLK | 0600, makedev(1, 1)), 0);
        velquar_test::makeTree("/dev/shm",
                               {"by-name/stale_dir/file", "by-name/stale_dir/fifo|", "outside",
                                "by-name/link@/dev/shm/outside", "by-name/loop@/dev/shm"});

        EXPECT_EQ(dravel({"/dev/shm"}, 0, run.setting), run.out);
        EXPECT_EQ(list("/dev/shm/by-name"),
                  "boot=blk 0755 b301, system=blk 0755 b302, userdata=blk 0755 11032c");
        EXPECT_EQ(list("/dev/shm"), "by-name=dir 0755, outside=file");
        std::filesystem::remove_all("/dev/shm/by-name");
        std::filesystem::remove("/dev/shm/outside");
    }
}

// Partition n gets the n-th uevent file, with minor number n when it has one.
// A FIFO or an endless device as a uevent makes no node and cannot hold the
// scan up; a uevent is one page at most.
TEST_F(Dravel, MakesNodesOnlyForCompleteUeventsWithNamesInsideTheFolder) {
    const char *const uevents[] = {
        "MAJOR=179\nMINOR=1\nPARTNAME=boot\n",
        "MAJOR=179\nMINOR=2\nDEVTYPE=partition\n",  // no PARTNAME
        "MINOR=3\nPARTNAME=no_major\n",             // not 179 left from before
        "MAJOR=179\nPARTNAME=no_minor\n",
        "MAJOR=179\nMINOR=5\nPARTNAME=MAJORITY\n",  // taken as a MAJOR line
        "MAJOR=179\nMINOR=6\nPARTNAME=MINORS\n",
        "MAJOR=179\nMINOR=7\nPARTNAME=../escaped\n",
        "MAJOR=179\nMINOR=8\nPARTNAME=.\n",
        "MAJOR=179\nMINOR=9\nPARTNAME=..\n",
        "MAJOR=179\nMINOR=10\nPARTNAME=boot\n",             // the first boot stays
        "MAJOR=4294967475\nMINOR=11\nPARTNAME=overflow\n",  // not 179 either
        "MAJOR=179\nMINOR=-2147483649\nPARTNAME=overflow\n",
        "MAJOR=179\nMINOR=13\nPARTNAME=last word\n",
        "DEVMAJOR=179\nMINOR=14\nPARTNAME=no_major_either\n",  // a key that ends in MAJOR=
    };
    int n = 0;
    for (const char *text : uevents) {
        partition(++n, text);
    }
    velquar_test::makeTree("/sys/block/mmcblk0",
                           {"mmcblk0p15/uevent|", "mmcblk0p16/uevent@/dev/zero"});
    partition(17, std::string(4090, '#') + "\n" + uevent(17, 179, 17, "beyond_a_page"));
    partition(18, uevent(18, 179, 18, "paged"));
    EXPECT_EQ(dravel({"/dev/shm"}), "");
    EXPECT_EQ(list("/dev/shm/by-name"),
              "boot=blk 0755 b301, last=blk 0755 b30d, paged=blk 0755 b312");
    EXPECT_EQ(list("/dev/shm"), "by-name=dir 0755");
}

TEST_F(Dravel, TakesDirAsOnePathAndRunsNothingFromIt) {
    partition(1, uevent(1, 179, 1, "boot"));
    // DIR as given, and the folder it must make under /dev/shm (the working
    // directory, where an injected command would leave its marker).
    const char *const cases[][2] = {
        {"/dev/shm/two words", "two words"},
        {"/dev/shm/a;touch marker1", "a;touch marker1"},
        {"/dev/shm/$(touch marker2)", "$(touch marker2)"},
        {"/dev/shm/q'uo\"te && touch marker3 #", "q'uo\"te && touch marker3 #"},
        {"dev/shm/relative", "relative"},    // taken from the root
        {"/dev/shm/new/deeper", "new"},      // parents are made
        {"//dev/shm//slashes/", "slashes"},  // empty components are harmless
    };
    Listing made;
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        made[c[1]] = "dir 0755";
        const std::string byName = "/" + std::string(c[0]) + "/by-name";
        for (int round = 0; round < 2; ++round) {  // made, then replaced
            EXPECT_EQ(dravel({c[0], "ignored"}), "");
            EXPECT_EQ(list(byName), "boot=blk 0755 b301");
            std::ofstream(byName + "/stale");
        }
    }
    // Cut at 4095 characters, "/" DIR "/by-name" would end in "/dev/shm/data/":
    // such a DIR changes nothing.
    ASSERT_EQ(mkdir("/dev/shm/data", 0755), 0);
    std::ofstream("/dev/shm/data/keep") << "x";
    const std::string tooLong = std::string(4081, '/') + "dev/shm/data";
    EXPECT_EQ(dravel({tooLong.c_str()}, 1),
              "dravel: " + tooLong + ": DIR is too long (File name too long)\n");
    EXPECT_EQ(list("/dev/shm/data"), "keep=file");
    made["data"] = "dir 0755";
    // Only the folders made: no marker and no /dev/shm/by-name.
    EXPECT_EQ(list("/dev/shm"), join(made));
}

// Whatever a user left at by-name, by-name ends up a folder of root's, 0755
// whatever the umask, with nothing of the user's left beside it.
TEST_F(Dravel, ByNameEndsUpRootsWhateverStoodThere) {
    partition(1, uevent(1, 179, 1, "boot"));
    const struct {
        const char *name;
        mode_t umask;
        void (*plant)();
    } cases[] = {
        {"dangling link", 022,
         [] {
             ASSERT_EQ(symlink("/dev/shm/later", "/dev/shm/by-name"), 0);
             ASSERT_EQ(lchown("/dev/shm/by-name", 65534, 65534), 0);
         }},
        {"user's folder deeper than the descriptor limit", 022,
         [] {
             ASSERT_EQ(mkdir("/dev/shm/by-name", 0777), 0);
             ASSERT_EQ(chown("/dev/shm/by-name", 65534, 65534), 0);
             velquar_test::chain("/dev/shm/by-name", 3000, 65534);
         }},
        {"umask 000", 0, [] {}},
        // A mount point cannot be swapped: it is emptied and filled in place.
        {"mount point", 022,
         [] {
             mountByName(0, "mode=0777");
             ASSERT_EQ(mknod("/dev/shm/by-name/boot", S_IFBLK | 0600, makedev(1, 1)), 0);
             velquar_test::makeTree("/dev/shm/by-name", {"stale/fifo|"});
         }},
    };
    const rlimit limit = {1024, 1024};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.plant();
        umask(c.umask);
        EXPECT_EQ(dravel({"/dev/shm"}), "");
        umask(022);
        struct stat st {};
        ASSERT_EQ(lstat("/dev/shm/by-name", &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(list("/dev/shm"), "by-name=dir 0755");
        EXPECT_EQ(list("/dev/shm/by-name"), "boot=blk 0755 b301");
        umount2("/dev/shm/by-name", MNT_DETACH);  // where one was mounted
        std::filesystem::remove_all("/dev/shm/by-name");
    }
    // The parents dravel makes are 0755 whatever the umask too.
    umask(0);
    EXPECT_EQ(dravel({"/dev/shm/open/parents"}), "");
    umask(022);
    EXPECT_EQ(list("/dev/shm/open"), "parents=dir 0755");
    EXPECT_EQ(list("/dev/shm/open/parents"), "by-name=dir 0755");
}

// A link in DIR is followed only where no other user could have put it: a
// user's link in a folder others may write (sticky like /tmp, or writable
// by a user's group) is refused, nothing is made or removed, and dravel
// says so and fails.
TEST_F(Dravel, FollowsALinkInDirOnlyWhereItIsSafe) {
    partition(1, uevent(1, 179, 1, "boot"));
    velquar_test::makeTree("/dev/shm", velquar_test::words("root/ pub/ grp/ rootgrp/ blind/ acl/ "
                                                           "aclread/ user/ l1@/dev/shm/root"));
    ASSERT_EQ(chmod("/dev/shm/pub", 01777), 0);
    ASSERT_EQ(chown("/dev/shm/grp", 0, 65534), 0);
    ASSERT_EQ(chmod("/dev/shm/grp", 0775), 0);
    ASSERT_EQ(chmod("/dev/shm/rootgrp", 0775), 0);
    // Writable by root's group only, and not readable by its owner: without
    // the right to override that, its ACL is read through its path.
    ASSERT_EQ(chmod("/dev/shm/blind", 0371), 0);
    // Both show as 0775 root:root; the ACL lets a user write, or only read.
    velquar_test::setAcl("/dev/shm/acl", ACL_USER, 65534, 7);
    velquar_test::setAcl("/dev/shm/aclread", ACL_USER, 65534, 5);
    // A user's own folder: their link leads only to what is theirs.
    ASSERT_EQ(chown("/dev/shm/user", 65534, 65534), 0);
    // As many links in a row as the kernel follows (40), and one more.
    for (int n = 2; n < 40; ++n) {
        const std::string to = "/dev/shm/l" + std::to_string(n - 1);
        ASSERT_EQ(symlink(to.c_str(), ("/dev/shm/l" + std::to_string(n)).c_str()), 0);
    }
    const struct {
        const char *link;
        uid_t owner;
        int error;  // 0: followed
        const char *target = "/dev/shm/root";
        const char *below = "";  // DIR goes on below the link
        void (*inChild)() = nullptr;
    } cases[] = {
        {"/dev/shm/pub/dev", 65534, EPERM},
        {"/dev/shm/grp/dev", 65534, EPERM},
        {"/dev/shm/pub/root", 0, 0},
        {"/dev/shm/rootgrp/dev", 65534, 0},
        {"/dev/shm/blind/dev", 65534, 0, "/dev/shm/root", "", withoutOverride},
        {"/dev/shm/acl/dev", 65534, EPERM},
        {"/dev/shm/aclread/dev", 65534, 0},
        // Standard input closed: the folder reached may be descriptor 0.
        {"/dev/shm/user/dev", 65534, EPERM, "../root/by-name", "", [] { close(0); }},
        {"/dev/shm/l40", 0, 0, "/dev/shm/l39"},
        {"/dev/shm/l41", 0, ELOOP, "/dev/shm/l40", "/sub"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.link);
        std::filesystem::remove_all("/dev/shm/root/by-name");
        ASSERT_EQ(mkdir("/dev/shm/root/by-name", 0755), 0);
        std::ofstream("/dev/shm/root/by-name/kept") << "x";
        ASSERT_EQ(symlink(c.target, c.link), 0);
        ASSERT_EQ(lchown(c.link, c.owner, c.owner), 0);
        const std::string dir = c.link + std::string(c.below);
        const std::string out = dravel({dir.c_str()}, c.error ? 1 : 0, "", c.inChild);
        EXPECT_EQ(out, c.error == 0 ? ""
                                    : "dravel: " + dir + ": DIR cannot be opened or made (" +
                                          strerror(c.error) + ")\n");
        EXPECT_EQ(list("/dev/shm/root/by-name"), c.error ? "kept=file" : "boot=blk 0755 b301");
        EXPECT_EQ(list("/dev/shm/root"), "by-name=dir 0755");
    }
}

// What dravel set out to do and could not is said on standard error and
// fails the run; the ways round a limit of the system are no failure.
TEST_F(Dravel, ReportsWhatItCouldNotDo) {
    partition(1, uevent(1, 179, 1, "boot"));
    const std::string shm = "dravel: /dev/shm: ";
    const std::string boot = "boot=blk 0755 b301";
    const struct {
        const char *name;
        void (*plant)();  // nullptr: nothing
        void (*inChild)();
        std::string out;
        int status;
        std::string byName;
        const char *kept = nullptr;  // a file that must stay, in place of byName
        const char *listed = "/dev/shm/by-name";
        const char *preload = nullptr;  // a library preloaded into dravel
    } cases[] = {
        {"no right to make nodes", nullptr, [] { prctl(PR_CAPBSET_DROP, CAP_MKNOD, 0, 0, 0); },
         shm + "device nodes cannot be made (not root?) (Operation not permitted)\n", 1, ""},
        {"by-name a read-only mount", [] { mountByName(MS_RDONLY, "mode=0755"); }, nullptr,
         shm + "no node for the partition boot (Read-only file system)\n", 1, ""},
        {"standard input closed, by-name a mount point", [] { mountByName(0, "mode=0755"); },
         [] { close(0); }, "", 0, boot},
        {"by-name a mount point its owner may not read", [] { mountByName(0, "mode=0000"); },
         withoutOverride, shm + "the mount point by-name cannot be opened (Permission denied)\n", 1,
         ""},
        {"renameat2 without flags", [] { ASSERT_EQ(mkdir("/dev/shm/by-name", 0755), 0); },
         [] { refuseRenameFlags(EINVAL); }, "", 0, boot},
        {"renameat2 without flags, the old by-name not empty",
         [] { velquar_test::makeTree("/dev/shm", {"by-name/stale"}); },
         [] { refuseRenameFlags(EINVAL); }, "", 0, boot},
        // Nothing is left of the folder that was to take by-name's place.
        {"renameat2 refused", nullptr, [] { refuseRenameFlags(EPERM); },
         shm + "by-name could not be put in place (Operation not permitted)\n", 1, "", nullptr,
         "/dev/shm"},
        // A user's folder in place of the fresh one, between its mkdir and its
        // opening, is no place for the nodes (and stays the user's).
        {"the fresh folder swapped", nullptr, [] { setenv("VELQUAR_SWAP_TO", "user-folder", 1); },
         shm + "no folder can be made for by-name (Operation not permitted)\n", 1,
         "(cannot open /dev/shm/by-name)=No such file or directory", nullptr, "/dev/shm/by-name",
         VELQUAR_SWAP_PRELOAD},
        {"DIR on a read-only mount",
         [] { ASSERT_EQ(mount(nullptr, "/dev/shm", nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0); },
         nullptr, shm + "no folder can be made for by-name (Read-only file system)\n", 1, "",
         nullptr, "/dev/shm"},
        {"the old by-name keeps a file",
         [] { ASSERT_TRUE(velquar_test::setAttributes("/dev/shm/by-name/kept", FS_IMMUTABLE_FL)); },
         nullptr, shm + "the old by-name could not be removed whole; it stays beside it\n", 0,
         boot},
        // In a copy of the root over a tmpfs (an overlay) where by-name is a
        // bind mount of that root: the real root stays out of reach.
        {"by-name the root folder",
         [] {
             ASSERT_TRUE(velquar_test::overlayRoot("/dev/shm/ovl"));
             std::filesystem::create_directories("/dev/shm/ovl/root/dev/shm/by-name");
             std::ofstream("/dev/shm/ovl/root/velquar-sentinel") << "x";
             ASSERT_EQ(mount("/dev/shm/ovl/root", "/dev/shm/ovl/root/dev/shm/by-name", nullptr,
                             MS_BIND, nullptr),
                       0);
         },
         [] {
             if (chroot("/dev/shm/ovl/root") != 0 || chdir("/") != 0) {
                 _exit(126);
             }
         },
         shm + "the mount point by-name could not be emptied (Device or resource busy)\n", 1, "",
         "/dev/shm/ovl/root/velquar-sentinel"},
    };
    const bool filters = velquar_test::seccompFilters();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!filters && std::string(c.name).rfind("renameat2", 0) == 0) {
            std::cout << "no seccomp filter here: the row \"" << c.name << "\" is not run\n";
            continue;
        }
        if (c.plant) {
            c.plant();
        }
        EXPECT_EQ(dravel({"/dev/shm"}, c.status,
                         c.preload ? velquar_test::preloadSetting(c.preload) : "", c.inChild),
                  c.out);
        if (c.kept) {
            EXPECT_TRUE(std::filesystem::exists(c.kept));
        } else {
            EXPECT_EQ(list(c.listed), c.byName);
        }
        mount(nullptr, "/dev/shm", nullptr, MS_REMOUNT, "mode=0755");
        for (const char *at : {"/dev/shm/by-name", "/dev/shm/ovl/root/dev/shm/by-name",
                               "/dev/shm/ovl/root/proc", "/dev/shm/ovl/root"}) {
            umount2(at, MNT_DETACH);
        }
        for (const auto &e : std::filesystem::recursive_directory_iterator("/dev/shm")) {
            if (e.path().filename() == "kept") {
                velquar_test::setAttributes(e.path(), 0);
            }
        }
        for (const auto &e : std::filesystem::directory_iterator("/dev/shm")) {
            std::filesystem::remove_all(e.path());
        }
    }
}

}  // namespace
