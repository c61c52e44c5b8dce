#include "root_view.h"

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

namespace fs = std::filesystem;

namespace velquar_test {
namespace {

const int kNotPermitted = 77;
const int kSetupFailed = 78;
const char *const kRealRoot = "/proc/self/root";

[[noreturn]] void setupFailed(const std::string &what, int error = errno) {
    fprintf(stderr, "root view: %s: %s\n", what.c_str(), strerror(error));
    _exit(kSetupFailed);
}

}  // namespace

// A tmpfs root that mirrors every top-level entry of the real one by bind
// mounts and symbolic links, except the fresh directories; then enters it.
void enterRootView(const std::string &root, const std::vector<std::string> &freshDirs) {
    if (unshare(CLONE_NEWNS) != 0) {
        _exit(errno == EPERM ? kNotPermitted : kSetupFailed);
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("velquar-root", root.c_str(), "tmpfs", 0, "mode=0755") != 0) {
        setupFailed("private tmpfs on " + root);
    }
    // Listed as /proc/self/root, the same folder to the kernel: under qemu-user
    // with -L, a path "/" would list the emulator's library prefix instead.
    for (const fs::directory_entry &entry : fs::directory_iterator(kRealRoot)) {
        const std::string name = entry.path().filename();
        const std::string mirror = root + "/" + name;
        if (std::find(freshDirs.begin(), freshDirs.end(), name) != freshDirs.end()) {
            continue;
        }
        std::error_code ec;
        if (entry.is_symlink(ec)) {
            fs::create_symlink(fs::read_symlink(entry.path(), ec), mirror, ec);
            if (ec) {
                setupFailed("mirror link " + name, ec.value());
            }
            continue;
        }
        if (entry.is_directory(ec)) {
            mkdir(mirror.c_str(), 0755);
        } else {
            std::ofstream touch(mirror);
        }
        if (mount(entry.path().c_str(), mirror.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
            setupFailed("bind " + name);
        }
    }
    for (const std::string &name : freshDirs) {
        if (mkdir((root + "/" + name).c_str(), 0755) != 0) {
            setupFailed("mkdir " + name);
        }
    }
    if (chdir(root.c_str()) != 0 || chroot(".") != 0 || chdir("/") != 0) {
        setupFailed("chroot " + root);
    }
}

RootView runInRootView(const std::vector<std::string> &freshDirs,
                       const std::function<void()> &body) {
    char templ[] = "/tmp/velquar-root-XXXXXX";
    if (!mkdtemp(templ)) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
        return RootView::Ran;
    }
    fflush(nullptr);
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

void notPermittedInRootView() {
    fflush(stdout);
    _exit(kNotPermitted);
}

void writeFile(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string iniPaddedTo(size_t size, const std::string &text) {
    std::string file;
    while (file.size() + text.size() < size) {
        const size_t room = size - text.size() - file.size();
        const size_t line = room >= 2000 ? 1000 : room <= 1000 ? room : room / 2;
        file += "#" + std::string(line - 2, 'x') + "\n";
    }
    return file + text;
}

}  // namespace velquar_test
