#include "replay_root.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <vector>

#include "file_io.h"

namespace velquar_replay {
namespace {

// The new root is built on a tmpfs mounted here, once the machine's
// top-level folders have been cloned.
const char kBase[] = "/tmp";

std::string failed(const std::string &what) {
    return what + ": " + strerror(errno);
}

std::string fdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool writeFile(const std::string &path, const std::string &text, mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    const bool ok = velquar::writeAll(fd, text.data(), text.size());
    const int error = errno;
    close(fd);
    errno = error;
    return ok;
}

// A top-level entry of the machine's root.
struct TopEntry {
    std::string link;  // the target of a symbolic link, copied as one
    bool folder = false;
    int clone = -1;  // the cloned mount tree, bound in at its name
};

std::string topLevel(std::map<std::string, TopEntry> &tops) {
    DIR *d = opendir("/");
    if (!d) {
        return failed("/");
    }
    for (struct dirent *e; (e = readdir(d)) != nullptr;) {
        const std::string name = e->d_name;
        struct stat st {};
        if (name == "." || name == ".." || fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW)) {
            continue;
        }
        TopEntry &top = tops[name];
        top.folder = S_ISDIR(st.st_mode);
        if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX];
            const ssize_t n = readlinkat(dirfd(d), e->d_name, target, sizeof target);
            top.link = n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string(".");
        }
    }
    closedir(d);
    return std::string();
}

// Mount points as /proc/self/mountinfo names them (octal escapes undone).
std::vector<std::string> mountPoints() {
    std::vector<std::string> points;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::string field;
        size_t at = 0;
        for (int n = 0; n < 5 && at != std::string::npos; ++n) {
            const size_t end = line.find(' ', at);
            field = line.substr(at, end == std::string::npos ? end : end - at);
            at = end == std::string::npos ? end : end + 1;
        }
        std::string point;
        for (size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                point += static_cast<char>(strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
                i += 3;
            } else {
                point += field[i];
            }
        }
        points.push_back(point);
    }
    return points;
}

// Which of the bundle's top-level names the machine has: those are laid
// over the machine's folder; the others are made in the new root.
std::string planOverlays(const ReplayBundle &bundle, const std::map<std::string, TopEntry> &tops,
                         std::set<std::string> &overlays) {
    std::set<std::string> names;
    for (const std::string &folder : bundle.folders) {
        names.insert(folder.substr(0, folder.find('/')));
    }
    for (const BundleFile &file : bundle.files) {
        if (file.path.find('/') == std::string::npos) {
            names.insert(file.path);
        }
    }
    const std::vector<std::string> points = mountPoints();
    for (const std::string &name : names) {
        const std::string where = "root/" + name;
        auto top = tops.find(name);
        if (name == kReplayFolder + 1) {
            return where + ": the replay keeps its own files there";
        }
        if (top == tops.end()) {
            continue;
        }
        if (!top->second.link.empty() || !top->second.folder) {
            return where + ": /" + name + " is not a folder on this machine";
        }
        if (name.find_first_of(":,\\") != std::string::npos) {
            return where + ": a name the replay cannot lay over the machine's folder";
        }
        for (const std::string &point : points) {
            if (point.compare(0, name.size() + 2, "/" + name + "/") == 0) {
                return where + ": laid over /" + name + " it would hide " + point +
                       ", mounted on this machine";
            }
        }
        overlays.insert(name);
    }
    return std::string();
}

// The user and mount namespace, with the caller's own ids mapped to
// themselves and no mount event leaving it.
std::string enterNamespaces() {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
        return failed("a user and mount namespace of its own (unshare)");
    }
    if (!writeFile("/proc/self/setgroups", "deny", 0) && errno != ENOENT) {
        return failed("/proc/self/setgroups");
    }
    if (!writeFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1\n",
                   0)) {
        return failed("/proc/self/uid_map");
    }
    if (!writeFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1\n",
                   0)) {
        return failed("/proc/self/gid_map");
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return failed("making the mounts private");
    }
    return std::string();
}

// The bundle's folders and files, under base for the names the new root
// gets from the bundle alone, under lower for those laid over the machine's.
std::string placeCopies(const ReplayBundle &bundle, const std::set<std::string> &overlays,
                        const std::string &base, const std::string &lower) {
    auto dest = [&](const std::string &path) {
        return (overlays.count(path.substr(0, path.find('/'))) ? lower : base) + "/" + path;
    };
    for (const std::string &folder : bundle.folders) {
        if (mkdir(dest(folder).c_str(), 0755) != 0) {
            return failed("root/" + folder);
        }
    }
    for (const BundleFile &file : bundle.files) {
        if (!writeFile(dest(file.path), file.data, 0444)) {
            return failed("root/" + file.path);
        }
    }
    return std::string();
}

}  // namespace

std::string enterReplayRoot(const ReplayBundle &bundle, const std::string &shim) {
    char cwd[PATH_MAX];
    char shell[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) {
        return failed("the working folder");
    }
    if (!realpath("/bin/sh", shell)) {
        return failed("/bin/sh");
    }
    std::map<std::string, TopEntry> tops;
    std::set<std::string> overlays;
    std::string why = topLevel(tops);
    if (why.empty()) {
        why = planOverlays(bundle, tops, overlays);
    }
    if (why.empty()) {
        why = enterNamespaces();
    }
    if (!why.empty()) {
        return why;
    }
    // Opened in the new mount namespace, whose mounts alone can be bound,
    // and before the tmpfs covers kBase.
    const int shimFd = open(shim.c_str(), O_PATH | O_CLOEXEC);
    const int shellFd = open(shell, O_PATH | O_CLOEXEC);
    if (shimFd < 0 || shellFd < 0) {
        return failed(shimFd < 0 ? shim : std::string(shell));
    }
    std::map<std::string, int> lowers;  // the machine's folders under the overlays
    for (const std::string &name : overlays) {
        lowers[name] = open(("/" + name).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (lowers[name] < 0) {
            return failed("/" + name);
        }
    }
    for (auto &top : tops) {
        if (top.second.link.empty() && !overlays.count(top.first) &&
            top.first != kReplayFolder + 1) {
            top.second.clone = open_tree(AT_FDCWD, ("/" + top.first).c_str(),
                                         OPEN_TREE_CLONE | AT_RECURSIVE | OPEN_TREE_CLOEXEC);
            if (top.second.clone < 0) {
                return failed("cloning /" + top.first);
            }
        }
    }
    const std::string base = kBase;
    const std::string own = base + kReplayFolder;
    const std::string lower = own + "/lower";
    if (mount("tmpfs", kBase, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0) {
        return failed("a tmpfs for the new root");
    }
    if (mkdir(own.c_str(), 0755) != 0 || mkdir(lower.c_str(), 0755) != 0 ||
        !writeFile(base + kReplayState, bundle.state, 0444) ||
        (bundle.hasConfig && !writeFile(own + "/" + bundle.configName, bundle.configData, 0444)) ||
        !writeFile(base + kReplayShell, std::string(), 0555)) {
        return failed("the replay's own files");
    }
    for (const auto &top : tops) {
        const std::string at = base + "/" + top.first;
        if (!top.second.link.empty()) {
            if (symlink(top.second.link.c_str(), at.c_str()) != 0) {
                return failed(at);
            }
        } else if (top.second.clone >= 0) {
            const bool made = top.second.folder ? mkdir(at.c_str(), 0755) == 0
                                                : writeFile(at, std::string(), 0444);
            if (!made || move_mount(top.second.clone, "", AT_FDCWD, at.c_str(),
                                    MOVE_MOUNT_F_EMPTY_PATH) != 0) {
                return failed("binding /" + top.first);
            }
            close(top.second.clone);
        }
    }
    why = placeCopies(bundle, overlays, base, lower);
    if (!why.empty()) {
        return why;
    }
    for (const auto &low : lowers) {
        const std::string at = base + "/" + low.first;
        const std::string options =
            "lowerdir=" + lower + "/" + low.first + ":" + fdPath(low.second);
        if (mkdir(at.c_str(), 0755) != 0 ||
            mount("overlay", at.c_str(), "overlay", MS_RDONLY, options.c_str()) != 0) {
            return failed("laying root/" + low.first + " over /" + low.first + " (overlayfs)");
        }
        close(low.second);
    }
    if (mount(fdPath(shellFd).c_str(), (base + kReplayShell).c_str(), nullptr, MS_BIND, nullptr) !=
            0 ||
        mount(fdPath(shimFd).c_str(), (base + shell).c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return failed(std::string("binding the recorded answers over ") + shell);
    }
    close(shimFd);
    close(shellFd);
    if (mount(nullptr, kBase, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NODEV,
              nullptr) != 0) {
        return failed("making the new root read-only");
    }
    if (chdir(kBase) != 0 || chroot(".") != 0) {
        return failed("entering the new root (chroot)");
    }
    if (chdir(cwd) != 0) {
        return failed(std::string("the working folder ") + cwd);
    }
    return std::string();
}

}  // namespace velquar_replay
