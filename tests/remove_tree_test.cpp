// The removal walk that factory-reset and dravel compile in, called
// directly on trees in a temporary folder. Each case runs in a child process
// of its own, which may lower its descriptor limit; run as root, the child
// of a case that needs it works as an ordinary user on a tree of that
// user's, so that a folder without write permission holds what it holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "emulator.h"
#include "remove_tree.h"
#include "tool_trees.h"

namespace fs = std::filesystem;
using velquar_test::chain;
using velquar_test::makeTree;

namespace {

using Lines = std::vector<std::string>;

const uid_t kUser = 65534;

void files(const fs::path &dir, int count) {
    fs::create_directories(dir);
    for (int n = 0; n < count; ++n) {
        std::ofstream(dir / ("file-with-a-longer-name-" + std::to_string(n)));
    }
}

// Allocation that fails for blocks of failFrom bytes up to 2 KiB: the walk's
// buffer of 64 folders is larger on every target (3 KiB on 32-bit ARM), its
// name buffers start smaller.
size_t failFrom = 0;
void *limitedGrow(void *block, size_t size) {
    return size >= failFrom && size < 2048 ? nullptr : realloc(block, size);
}

struct Outcome {
    RemoveResult result;
    Lines left;  // "path error" per entry reported
};

std::function<void()> atFirstReport;

void onLeft(const char *path, int error, void *arg) {
    static_cast<Lines *>(arg)->push_back(std::string(path) + " " + strerrorname_np(error));
    if (atFirstReport) {
        atFirstReport();
        atFirstReport = nullptr;
    }
}

// Runs the walk on base/t in a child and returns what it reported.
Outcome walkInChild(const fs::path &base, unsigned flags, size_t failFromSize, rlim_t fdLimit,
                    bool asUser, const std::function<void(const fs::path &)> &firstReport) {
    const velquar_test::ChildRun run = velquar_test::runInChild([&](int report) {
        if (asUser && geteuid() == 0 && (setgid(kUser) != 0 || setuid(kUser) != 0)) {
            _exit(2);
        }
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != report) {
                close(fd);
            }
        }
        const int dir = open((base / "t").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const rlimit limit = {fdLimit, fdLimit};
        if (dir < 0 || setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            _exit(3);
        }
        Lines left;
        RemoveOptions options;
        options.flags = flags;
        options.left = onLeft;
        options.arg = &left;
        failFrom = failFromSize;
        if (firstReport) {
            atFirstReport = [&] { firstReport(base); };
        }
        options.grow = failFromSize ? limitedGrow : nullptr;
        const RemoveResult result = removeContents(dir, "t", options);
        std::string text = std::to_string(result.error) + "\n" + std::to_string(result.left) + "\n";
        for (const std::string &line : left) {
            text += line + "\n";
        }
        return text;
    });
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << "status " << run.status;
    Outcome outcome{};
    std::istringstream in(run.text);
    std::string error, count;
    if (std::getline(in, error) && std::getline(in, count)) {
        outcome.result.error = std::stoi(error);
        outcome.result.left = std::stoul(count);
        for (std::string line; std::getline(in, line);) {
            outcome.left.push_back(line);
        }
    }
    return outcome;
}

struct Case {
    const char *name;
    std::function<void(const fs::path &)> make;  // builds base/t and more
    unsigned flags;
    Lines after;  // the tree of base afterwards
    Lines left;   // the entries reported as left
    int error;
    size_t failFrom = 0;  // 0: allocation never fails
    rlim_t fdLimit = 1024;
    bool asUser = false;  // as root, the tree is an ordinary user's, who runs the walk
    std::function<void(const fs::path &)> atFirstReport = nullptr;  // run at the first report
    bool onTmpfs = false;                                           // in /dev/shm rather than /tmp
};

}  // namespace

TEST(RemoveTree, RemovesWhatItCanAndReportsEveryEntryLeft) {
    const std::string name62(62, 'n');
    const Case cases[] = {
        {"links go, their targets stay",
         [](const fs::path &b) {
             makeTree(b, {"outside/sub/", "outside/keep", "t/nested/"});
             fs::create_directory_symlink(b / "outside", b / "t/tofolder");
             fs::create_directory_symlink("../../outside", b / "t/nested/relative");
             fs::create_symlink(b / "outside/keep", b / "t/tofile");
             fs::create_symlink(b / "nowhere", b / "t/dangling");
         },
         kRemoveKeepSpecial,
         {"outside/", "outside/keep", "outside/sub/", "t/"},
         {},
         0},
        {"FIFOs kept, no failure",
         [](const fs::path &b) {
             makeTree(b, {"t/sub/file"});
             ASSERT_EQ(mkfifo((b / "t/fifo").c_str(), 0644), 0);
             ASSERT_EQ(mkfifo((b / "t/sub/fifo").c_str(), 0644), 0);
         },
         kRemoveKeepSpecial,
         {"t/", "t/fifo|", "t/sub/", "t/sub/fifo|"},
         {},
         0},
        {"FIFOs removed",
         [](const fs::path &b) {
             makeTree(b, {"t/sub/"});
             ASSERT_EQ(mkfifo((b / "t/fifo").c_str(), 0644), 0);
             ASSERT_EQ(mkfifo((b / "t/sub/fifo").c_str(), 0644), 0);
         },
         0,
         {"t/"},
         {},
         0},
        {"chain of 3,000 folders",
         [](const fs::path &b) { chain(b / "t", 3000); },
         0,
         {"t/"},
         {},
         0},
        {"chain of 300 under a limit of 8 descriptors",
         [](const fs::path &b) { chain(b / "t", 300); },
         0,
         {"t/"},
         {},
         0,
         0,
         8},
        // Its ancestors closed for the limit, the walk's first report moves
        // t/a/c/X out to t/moved: the way back up from X leads elsewhere, so
        // the walk gives up X and the levels up to the nearest open one, each
        // for that reason, and goes on as deep as before in t/z (listed
        // after t/a: on a tmpfs a folder lists its newest entry first).
        {"a folder moved out of reach while its parents are closed",
         [](const fs::path &b) {
             chain(b / "t/z", 4);
             // w is listed after X, so out of reach too.
             makeTree(b, {"t/a/c/w", "t/a/c/X/Y/Z/locked/file"});
             ASSERT_EQ(chmod((b / "t/a/c/X/Y/Z/locked").c_str(), 0555), 0);
         },
         0,
         {"t/", "t/a/", "t/a/c/", "t/a/c/w", "t/moved/", "t/moved/Y/", "t/moved/Y/Z/",
          "t/moved/Y/Z/locked/", "t/moved/Y/Z/locked/file"},
         {"t/a/c/X/Y/Z/locked/file EACCES", "t/a/c/X ESTALE", "t/a/c ESTALE"},
         EACCES,
         0,
         7,
         true,
         [](const fs::path &b) { fs::rename(b / "t/a/c/X", b / "t/moved"); },
         true},
        {"no descriptor left for a folder inside",
         [](const fs::path &b) {
             makeTree(b, {"t/sub/file", "t/file"});
         },
         0,
         {"t/", "t/sub/", "t/sub/file"},
         {"t/sub EMFILE"},
         EMFILE,
         0,
         4},
        {"names read again when their buffer cannot grow past 256 bytes",
         [](const fs::path &b) {
             files(b / "t", 150);
             files(b / "t/sub", 150);
         },
         0,
         {"t/"},
         {},
         0,
         257},
        // Its folder read again, a folder that stays is not walked again.
        {"an entry left is named once",
         [](const fs::path &b) {
             files(b / "t", 150);
             makeTree(b, {"t/locked/file"});
             ASSERT_EQ(chmod((b / "t/locked").c_str(), 0555), 0);
         },
         0,
         {"t/", "t/locked/", "t/locked/file"},
         {"t/locked/file EACCES"},
         EACCES,
         257,
         1024,
         true},
        // Reported once for the names that did not fit, not again as not empty.
        {"no memory for a folder's first name",
         [](const fs::path &b) { makeTree(b, {"t/sub/a-name-longer-than-thirty-two-bytes"}); },
         0,
         {"t/", "t/sub/", "t/sub/a-name-longer-than-thirty-two-bytes"},
         {"t/sub ENOMEM"},
         ENOMEM,
         64},
        // The entry left is named by itself when its path finds no memory
        // (a 65-byte block; its 62-byte name fits the names' 64).
        {"no memory for the path of an entry left",
         [&](const fs::path &b) {
             makeTree(b, {"t/" + name62});
             ASSERT_EQ(chmod((b / "t").c_str(), 0555), 0);
         },
         0,
         {"t/", "t/" + name62},
         {name62 + " EACCES"},
         EACCES,
         65,
         1024,
         true},
        {"no memory for names at all",
         [](const fs::path &b) { files(b / "t/sub", 3); },
         0,
         {"t/", "t/sub/", "t/sub/file-with-a-longer-name-0", "t/sub/file-with-a-longer-name-1",
          "t/sub/file-with-a-longer-name-2"},
         {"t ENOMEM"},
         ENOMEM,
         1},
        {"a folder that may not be written keeps its file, and says so",
         [](const fs::path &b) {
             makeTree(b, {"t/locked/file", "t/gone/deeper/file"});
             ASSERT_EQ(chmod((b / "t/locked").c_str(), 0555), 0);
         },
         0,
         {"t/", "t/locked/", "t/locked/file"},
         {"t/locked/file EACCES"},
         EACCES,
         0,
         1024,
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string baseName =
            c.onTmpfs ? "/dev/shm/velquar-remove-XXXXXX" : "/tmp/velquar-remove-XXXXXX";
        char *base = &baseName[0];
        ASSERT_NE(mkdtemp(base), nullptr);
        ASSERT_EQ(chmod(base, 0755), 0);
        c.make(base);
        if (c.asUser && geteuid() == 0) {
            for (const auto &e : fs::recursive_directory_iterator(base)) {
                ASSERT_EQ(lchown(e.path().c_str(), kUser, kUser), 0) << e.path();
            }
        }
        const Outcome outcome =
            walkInChild(base, c.flags, c.failFrom, c.fdLimit, c.asUser, c.atFirstReport);
        EXPECT_EQ(velquar_test::listTree(base), c.after);
        EXPECT_EQ(outcome.left, c.left);
        EXPECT_EQ(outcome.result.left, c.left.size());
        EXPECT_EQ(outcome.result.error, c.error);
        for (const char *locked : {"t/locked", "t/moved/Y/Z/locked", "t"}) {
            chmod((fs::path(base) / locked).c_str(), 0755);
        }
        fs::remove_all(base);
    }
}
