// The removal walk of factory-reset and dravel, called on trees in a temporary
// folder, each case in a child that may lower its descriptor limit or, as
// root, work as an ordinary user on that user's tree (so 0555 holds).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "emulator.h"
#include "remove_tree.h"
#include "tool_trees.h"

namespace fs = std::filesystem;
using velquar_test::chain;
using velquar_test::makeTree;

namespace {

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

std::function<void()> atFirstReport;

void onLeft(const char *path, int error, void *arg) {
    *static_cast<std::string *>(arg) += " " + std::string(path) + ":" + strerrorname_np(error);
    if (atFirstReport) {
        atFirstReport();
        atFirstReport = nullptr;
    }
}

struct Case {
    const char *name;
    std::string make;  // makeTree's paths below base, split at blanks
    unsigned flags;
    std::string after;  // the tree of base afterwards
    std::string left;   // the entries reported as left, "PATH:ERROR"
    int error;
    size_t failFrom = 0;  // 0: allocation never fails
    rlim_t fdLimit = 1024;
    bool asUser = false;           // as root, the tree is an ordinary user's, who runs the walk
    const char *locked = nullptr;  // made 0555 below base
    std::function<void(const fs::path &)> more = nullptr;           // builds base before make
    std::function<void(const fs::path &)> atFirstReport = nullptr;  // run at the first report
    bool onTmpfs = false;                                           // in /dev/shm rather than /tmp
};

// Runs the walk on base/t in a child: "ERROR COUNT PATH:ERROR...", the
// result and each entry reported as left.
std::string walkInChild(const fs::path &base, const Case &c) {
    const velquar_test::ChildRun run = velquar_test::runInChild([&](int report) {
        if (c.asUser && geteuid() == 0 && (setgid(kUser) != 0 || setuid(kUser) != 0)) {
            _exit(2);
        }
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != report) {
                close(fd);
            }
        }
        const int dir = open((base / "t").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const rlimit limit = {c.fdLimit, c.fdLimit};
        if (dir < 0 || setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            _exit(3);
        }
        std::string left;
        RemoveOptions options;
        options.flags = c.flags;
        options.left = onLeft;
        options.arg = &left;
        failFrom = c.failFrom;
        if (c.atFirstReport) {
            atFirstReport = [&] { c.atFirstReport(base); };
        }
        options.grow = c.failFrom ? limitedGrow : nullptr;
        const RemoveResult result = removeContents(dir, "t", options);
        return std::to_string(result.error) + " " + std::to_string(result.left) + left;
    });
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << "status " << run.status;
    return run.text;
}

}  // namespace

TEST(RemoveTree, RemovesWhatItCanAndReportsEveryEntryLeft) {
    const std::string name62(62, 'n');
    const auto files150 = [](const fs::path &b) { files(b / "t", 150); };
    const Case cases[] = {
        {"links go, their targets stay",
         "outside/sub/ outside/keep t/nested/ t/tofolder@../outside t/tofile@../outside/keep "
         "t/nested/relative@../../outside t/dangling@../nowhere",
         kRemoveKeepSpecial, "outside/ outside/keep outside/sub/ t/", "", 0},
        {"FIFOs kept, no failure", "t/sub/file t/fifo| t/sub/fifo|", kRemoveKeepSpecial,
         "t/ t/fifo| t/sub/ t/sub/fifo|", "", 0},
        {"FIFOs removed", "t/sub/ t/fifo| t/sub/fifo|", 0, "t/", "", 0},
        {"chain of 3,000 folders", "", 0, "t/", "", 0, 0, 1024, false, nullptr,
         [](const fs::path &b) { chain(b / "t", 3000); }},
        {"chain of 300 under a limit of 8 descriptors", "", 0, "t/", "", 0, 0, 8, false, nullptr,
         [](const fs::path &b) { chain(b / "t", 300); }},
        // Its ancestors closed for the limit, the walk's first report moves
        // t/a/c/X out to t/moved: the way back up from X leads elsewhere, so
        // the walk gives up X and the levels up to the nearest open one, each
        // for that reason, and goes on as deep as before in t/z (listed
        // after t/a: on a tmpfs a folder lists its newest entry first). w is
        // listed after X, so out of reach too.
        {"a folder moved out of reach while its parents are closed",
         "t/a/c/w t/a/c/X/Y/Z/locked/file", 0,
         "t/ t/a/ t/a/c/ t/a/c/w t/moved/ t/moved/Y/ t/moved/Y/Z/ t/moved/Y/Z/locked/ "
         "t/moved/Y/Z/locked/file",
         "t/a/c/X/Y/Z/locked/file:EACCES t/a/c/X:ESTALE t/a/c:ESTALE", EACCES, 0, 7, true,
         "t/a/c/X/Y/Z/locked", [](const fs::path &b) { chain(b / "t/z", 4); },
         [](const fs::path &b) { fs::rename(b / "t/a/c/X", b / "t/moved"); }, true},
        {"no descriptor left for a folder inside", "t/sub/file t/file", 0, "t/ t/sub/ t/sub/file",
         "t/sub:EMFILE", EMFILE, 0, 4},
        {"names read again when their buffer cannot grow past 256 bytes", "", 0, "t/", "", 0, 257,
         1024, false, nullptr,
         [&](const fs::path &b) {
             files150(b);
             files(b / "t/sub", 150);
         }},
        // Its folder read again, a folder that stays is not walked again.
        {"an entry left is named once", "t/locked/file", 0, "t/ t/locked/ t/locked/file",
         "t/locked/file:EACCES", EACCES, 257, 1024, true, "t/locked", files150},
        // Reported once for the names that did not fit, not again as not empty.
        {"no memory for a folder's first name", "t/sub/a-name-longer-than-thirty-two-bytes", 0,
         "t/ t/sub/ t/sub/a-name-longer-than-thirty-two-bytes", "t/sub:ENOMEM", ENOMEM, 64},
        // The entry left is named by itself when its path finds no memory
        // (a 65-byte block; its 62-byte name fits the names' 64).
        {"no memory for the path of an entry left", "t/" + name62, 0, "t/ t/" + name62,
         name62 + ":EACCES", EACCES, 65, 1024, true, "t"},
        {"no memory for names at all", "", 0,
         "t/ t/sub/ t/sub/file-with-a-longer-name-0 t/sub/file-with-a-longer-name-1 "
         "t/sub/file-with-a-longer-name-2",
         "t:ENOMEM", ENOMEM, 1, 1024, false, nullptr,
         [](const fs::path &b) { files(b / "t/sub", 3); }},
        {"a folder that may not be written keeps its file, and says so",
         "t/locked/file t/gone/deeper/file", 0, "t/ t/locked/ t/locked/file",
         "t/locked/file:EACCES", EACCES, 0, 1024, true, "t/locked"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string baseName =
            c.onTmpfs ? "/dev/shm/velquar-remove-XXXXXX" : "/tmp/velquar-remove-XXXXXX";
        char *base = &baseName[0];
        ASSERT_NE(mkdtemp(base), nullptr);
        ASSERT_EQ(chmod(base, 0755), 0);
        if (c.more) {
            c.more(base);
        }
        makeTree(base, velquar_test::words(c.make));
        if (c.locked) {
            ASSERT_EQ(chmod((fs::path(base) / c.locked).c_str(), 0555), 0);
        }
        if (c.asUser && geteuid() == 0) {
            for (const auto &e : fs::recursive_directory_iterator(base)) {
                ASSERT_EQ(lchown(e.path().c_str(), kUser, kUser), 0) << e.path();
            }
        }
        const size_t count = velquar_test::words(c.left).size();
        EXPECT_EQ(walkInChild(base, c), std::to_string(c.error) + " " + std::to_string(count) +
                                            (count ? " " : "") + c.left);
        EXPECT_EQ(velquar_test::listTree(base), velquar_test::words(c.after));
        for (const char *locked : {"t/locked", "t/moved/Y/Z/locked", "t"}) {
            chmod((fs::path(base) / locked).c_str(), 0755);
        }
        fs::remove_all(base);
    }
}
