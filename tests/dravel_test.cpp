// The dravel program, run as a process against a made-up eMMC device.
//
// Each test moves its own process into a private mount namespace, where a
// tmpfs over /sys/block holds mmcblk0/mmcblk0pN/uevent files written as the
// kernel writes them and a tmpfs over /dev/shm receives DIR. Nothing leaves
// the namespace, which ends with the process (CTest runs one test per
// process; run together, each test stacks fresh mounts over the last ones).
// Without the right to create a mount namespace (not root) the tests skip.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Listing = std::map<std::string, std::string>;

struct ProgramRun {
    int status;       // exit status, -1 when the program did not exit normally
    std::string out;  // standard output and standard error together
};

// Runs dravel with args in /dev/shm under umask 022.
ProgramRun dravel(const std::vector<std::string> &args) {
    std::vector<char *> argv{const_cast<char *>(VELQUAR_DRAVEL_PATH)};
    for (const std::string &a : args) {
        argv.push_back(const_cast<char *>(a.c_str()));
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) {
        return {-1, "pipe failed"};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        umask(022);
        if (chdir("/dev/shm") == 0) {
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

// What lstat says of each entry of dir: "blk MODE RDEV" (octal permission
// bits, hexadecimal device number), "dir", "link" or "file".
Listing list(const std::string &dir) {
    Listing found;
    DIR *d = opendir(dir.c_str());
    if (!d) {
        return {{"(cannot open " + dir + ")", strerror(errno)}};
    }
    while (const dirent *e = readdir(d)) {
        struct stat st {};
        const std::string name = e->d_name;
        if (name == "." || name == ".." || lstat((dir + "/" + name).c_str(), &st) != 0) {
            continue;
        }
        char text[64] = "file";
        if (S_ISBLK(st.st_mode)) {
            snprintf(text, sizeof text, "blk %04o %llx", st.st_mode & 07777,
                     static_cast<unsigned long long>(st.st_rdev));
        } else if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) {
            snprintf(text, sizeof text, "%s", S_ISDIR(st.st_mode) ? "dir" : "link");
        }
        found[name] = text;
    }
    closedir(d);
    return found;
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

// The uevent file of a partition as the kernel writes it.
std::string uevent(int n, int major, int minor, const std::string &name) {
    const std::string number = std::to_string(n);
    return "MAJOR=" + std::to_string(major) + "\nMINOR=" + std::to_string(minor) +
           "\nDEVNAME=mmcblk0p" + number + "\nDEVTYPE=partition\nDISKSEQ=9\nPARTN=" + number +
           "\nPARTNAME=" + name + "\n";
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
    }

    // Partition n of mmcblk0 with the given uevent file.
    static void partition(int n, const std::string &text) {
        const std::string dir = "/sys/block/mmcblk0/mmcblk0p" + std::to_string(n);
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        writeFile(dir + "/uevent", text);
    }
};

TEST_F(Dravel, WithoutArgumentPrintsTheBannerOnlyAndCreatesNothing) {
    partition(1, uevent(1, 179, 1, "boot"));
    const std::string hashes(25, '#');
    const ProgramRun run = dravel({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, hashes + "   Dravel Help   " + hashes +
                           "\nUsage: /Dravel/dravel [DIR]\n\nEx: /Dravel/dravel /dev/shm\n" +
                           std::string(66, '#') + " \n");
    EXPECT_EQ(list("/dev/shm"), Listing{});
}

TEST_F(Dravel, ReplacesByNameWithOneNodePerPartitionUpToTheFirstGap) {
    partition(1, uevent(1, 179, 1, "boot"));
    partition(2, uevent(2, 179, 2, "system"));
    partition(3, uevent(3, 259, 300, "userdata"));
    partition(5, uevent(5, 179, 5, "beyond_the_gap"));
    // A stale by-name folder: a node, a folder, and a link to a file outside
    // that must survive the removal.
    ASSERT_EQ(mkdir("/dev/shm/by-name", 0700), 0);
    ASSERT_EQ(mkdir("/dev/shm/by-name/stale_dir", 0755), 0);
    writeFile("/dev/shm/by-name/stale_dir/file", "x");
    ASSERT_EQ(mknod("/dev/shm/by-name/boot", S_IFBLK | 0600, makedev(1, 1)), 0);
    writeFile("/dev/shm/outside", "kept");
    ASSERT_EQ(symlink("/dev/shm/outside", "/dev/shm/by-name/link"), 0);
    ASSERT_EQ(symlink("/dev/shm", "/dev/shm/by-name/loop"), 0);

    const ProgramRun run = dravel({"/dev/shm"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(list("/dev/shm/by-name"), (Listing{{"boot", "blk 0755 b301"},
                                                 {"system", "blk 0755 b302"},
                                                 {"userdata", "blk 0755 11032c"}}));
    EXPECT_EQ(list("/dev/shm"), (Listing{{"by-name", "dir"}, {"outside", "file"}}));
    struct stat st {};
    ASSERT_EQ(stat("/dev/shm/by-name", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);  // made afresh, as mkdir makes it
}

TEST_F(Dravel, MakesNodesOnlyForCompleteUeventsWithNamesInsideTheFolder) {
    const char *const cases[][2] = {
        {"MAJOR=179\nMINOR=1\nPARTNAME=boot\n", "boot"},
        {"MAJOR=179\nMINOR=2\nDEVTYPE=partition\n", ""},  // no PARTNAME
        {"MINOR=3\nPARTNAME=no_major\n", ""},             // not 179 left from before
        {"MAJOR=179\nPARTNAME=no_minor\n", ""},
        {"MAJOR=179\nMINOR=5\nPARTNAME=MAJORITY\n", ""},  // taken as a MAJOR line
        {"MAJOR=179\nMINOR=6\nPARTNAME=MINORS\n", ""},
        {"MAJOR=179\nMINOR=7\nPARTNAME=../escaped\n", ""},
        {"MAJOR=179\nMINOR=8\nPARTNAME=a/b\n", ""},
        {"MAJOR=179\nMINOR=9\nPARTNAME=.\n", ""},
        {"MAJOR=179\nMINOR=10\nPARTNAME=..\n", ""},
        {"MAJOR=179\nMINOR=11\nPARTNAME=boot\n", ""},  // the first boot stays
        {"MAJOR=179\nMINOR=12\nPARTNAME=last word\n", "last"},
    };
    Listing expected;
    for (int n = 1; n <= static_cast<int>(std::size(cases)); ++n) {
        partition(n, cases[n - 1][0]);
        if (*cases[n - 1][1]) {
            char text[32];
            snprintf(text, sizeof text, "blk 0755 %x", 179 << 8 | n);
            expected[cases[n - 1][1]] = text;
        }
    }
    const ProgramRun run = dravel({"/dev/shm"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(list("/dev/shm/by-name"), expected);
    EXPECT_EQ(list("/dev/shm"), (Listing{{"by-name", "dir"}}));
}

TEST_F(Dravel, TakesDirAsOnePathAndRunsNothingFromIt) {
    partition(1, uevent(1, 179, 1, "boot"));
    // DIR as given, and the folder it must make under /dev/shm (the working
    // directory, where an injected command would leave its marker).
    const char *const cases[][2] = {
        {"/dev/shm/two words", "two words"},
        {"/dev/shm/a;touch marker1", "a;touch marker1"},
        {"/dev/shm/$(touch marker2)", "$(touch marker2)"},
        {"/dev/shm/`touch marker3`", "`touch marker3`"},
        {"/dev/shm/q'uo\"te && touch marker4 #", "q'uo\"te && touch marker4 #"},
        {"/dev/shm/*", "*"},
        {"dev/shm/relative", "relative"},    // taken from the root
        {"/dev/shm/new/deeper", "new"},      // parents are made
        {"//dev/shm//slashes/", "slashes"},  // empty components are harmless
    };
    Listing made;
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        made[c[1]] = "dir";
        const std::string byName = "/" + std::string(c[0]) + "/by-name";
        for (int round = 0; round < 2; ++round) {  // made, then replaced
            const ProgramRun run = dravel({c[0], "ignored"});
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(list(byName), (Listing{{"boot", "blk 0755 b301"}}));
            writeFile(byName + "/stale", "");
        }
    }
    // Only the folders made: no marker and no /dev/shm/by-name.
    EXPECT_EQ(list("/dev/shm"), made);
}

TEST_F(Dravel, WithoutFirstPartitionMakesAnEmptyFolder) {
    partition(2, uevent(2, 179, 2, "system"));
    EXPECT_EQ(dravel({"/dev/shm"}).status, 0);
    EXPECT_EQ(list("/dev/shm/by-name"), Listing{});
}

TEST_F(Dravel, LeavesEverythingAloneWhenThePathDoesNotFit) {
    partition(1, uevent(1, 179, 1, "boot"));
    ASSERT_EQ(mkdir("/dev/shm/data", 0755), 0);
    writeFile("/dev/shm/data/keep", "x");
    // Cut at 4095 characters, "/" DIR "/by-name" would end in "/dev/shm/data/".
    const ProgramRun run = dravel({std::string(4081, '/') + "dev/shm/data"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(list("/dev/shm/data"), (Listing{{"keep", "file"}}));
}

}  // namespace
