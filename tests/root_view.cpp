#include "root_view.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace velquar_test {
namespace {

const int kNotPermitted = 77;
const int kSetupFailed = 78;

[[noreturn]] void setupFailed(const std::string &what) {
    fprintf(stderr, "root view: %s: %s\n", what.c_str(), strerror(errno));
    _exit(kSetupFailed);
}

// A tmpfs root that mirrors every top-level entry of the real one by bind
// mounts and symbolic links, except the fresh directories; then enters it.
void enterRootView(const std::string &root, const std::vector<std::string> &freshDirs) {
    if (unshare(CLONE_NEWNS) != 0) {
        _exit(errno == EPERM ? kNotPermitted : kSetupFailed);
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        setupFailed("make / private");
    }
    if (mount("velquar-root", root.c_str(), "tmpfs", 0, "mode=0755") != 0) {
        setupFailed("mount tmpfs on " + root);
    }
    DIR *top = opendir("/");
    if (!top) {
        setupFailed("opendir /");
    }
    while (dirent *entry = readdir(top)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." ||
            std::find(freshDirs.begin(), freshDirs.end(), name) != freshDirs.end()) {
            continue;
        }
        const std::string real = "/" + name;
        const std::string mirror = root + real;
        struct stat st;
        if (lstat(real.c_str(), &st) != 0) {
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            ssize_t n = readlink(real.c_str(), target, sizeof target - 1);
            if (n < 0 ||
                symlink(std::string(target, static_cast<size_t>(n)).c_str(), mirror.c_str()) != 0) {
                setupFailed("mirror link " + real);
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            mkdir(mirror.c_str(), 0755);
        } else {
            std::ofstream touch(mirror);
        }
        if (mount(real.c_str(), mirror.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
            setupFailed("bind " + real);
        }
    }
    closedir(top);
    for (const std::string &name : freshDirs) {
        if (mkdir((root + "/" + name).c_str(), 0755) != 0) {
            setupFailed("mkdir " + name);
        }
    }
    if (chdir(root.c_str()) != 0 || chroot(".") != 0 || chdir("/") != 0) {
        setupFailed("chroot " + root);
    }
}

}  // namespace

RootView runInRootView(const std::vector<std::string> &freshDirs,
                       const std::function<void()> &body) {
    char templ[] = "/tmp/velquar-root-XXXXXX";
    if (!mkdtemp(templ)) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return RootView::Ran;
    }
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    if (child == 0) {
        enterRootView(templ, freshDirs);
        body();
        fflush(stdout);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    rmdir(templ);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNotPermitted) {
        return RootView::NotPermitted;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child in the private mount namespace failed (status " << status << ")";
    return RootView::Ran;
}

void writeFile(const std::string &path, const std::string &text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace velquar_test
