#include "replay_bundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "file_io.h"

namespace velquar_replay {
namespace {

using velquar::Fd;

std::string kind(mode_t mode) {
    return S_ISLNK(mode)                    ? "a symbolic link"
           : S_ISFIFO(mode)                 ? "a FIFO"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
           : S_ISSOCK(mode)                 ? "a socket"
                                            : "not a regular file";
}

// The regular file name in dir, at most limit bytes, never through a link.
std::string readRegular(int dir, const std::string &name, size_t limit, std::string &data) {
    Fd fd(openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0) {
        return errno == ELOOP ? "a symbolic link" : strerror(errno);
    }
    if (fstat(fd.get(), &st) != 0) {
        return strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return kind(st.st_mode);
    }
    data.clear();
    const velquar::ReadEnd end = velquar::readText(fd.get(), limit, data);
    if (end == velquar::ReadEnd::TooLarge) {
        return "larger than " + std::to_string(limit >> 20) + " MiB";
    }
    return end == velquar::ReadEnd::Failed ? strerror(errno) : "";
}

struct Walk {
    ReplayBundle &out;
    size_t entries = 0;
    size_t total = 0;
};

// The names in the folder open as dir, sorted.
bool names(int dir, std::vector<std::string> &list) {
    // Each folder is listed once: a duplicate's shared read position is harmless.
    const int fd = fcntl(dir, F_DUPFD_CLOEXEC, 0);
    DIR *d = fd < 0 ? nullptr : fdopendir(fd);
    if (!d && fd >= 0) {
        close(fd);
    }
    if (!d) {
        return false;
    }
    for (struct dirent *e; (e = readdir(d)) != nullptr && list.size() <= kMaxEntries;) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
            list.push_back(e->d_name);
        }
    }
    closedir(d);
    std::sort(list.begin(), list.end());
    return true;
}

// Everything below the folder open as dir, whose path below root/ is at.
std::string walk(Walk &w, int dir, const std::string &at, size_t depth) {
    std::vector<std::string> list;
    if (!names(dir, list)) {
        return "root/" + at + ": " + strerror(errno);
    }
    for (const std::string &name : list) {
        const std::string path = at.empty() ? name : at + "/" + name;
        if (++w.entries > kMaxEntries) {
            return "root/ holds more than " + std::to_string(kMaxEntries) + " entries";
        }
        if (at.empty() && (name == "proc" || name == "sys" || name == "dev")) {
            return "root/" + name + ": kernel and device folders are not replayed from copies";
        }
        struct stat st {};
        if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return "root/" + path + ": " + strerror(errno);
        }
        if (S_ISDIR(st.st_mode)) {
            if (depth + 1 > kMaxDepth) {
                return "root/" + path + ": more than " + std::to_string(kMaxDepth) +
                       " folders deep";
            }
            Fd sub(openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (sub.get() < 0) {
                return "root/" + path + ": " +
                       (errno == ENOTDIR ? "not a folder" : strerror(errno));
            }
            w.out.folders.push_back(path);
            const std::string why = walk(w, sub.get(), path, depth + 1);
            if (!why.empty()) {
                return why;
            }
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            return "root/" + path + ": " + kind(st.st_mode);
        }
        BundleFile file{path, std::string()};
        const std::string why = readRegular(dir, name, kMaxCopySize, file.data);
        if (!why.empty()) {
            return "root/" + path + ": " + why;
        }
        w.total += file.data.size();
        if (w.total > kMaxTotal) {
            return "the copies under root/ hold more than " + std::to_string(kMaxTotal >> 20) +
                   " MiB";
        }
        w.out.files.push_back(std::move(file));
    }
    return std::string();
}

bool hasDotDot(const std::string &path) {
    std::string parts = "/" + path + "/";
    return parts.find("/../") != std::string::npos;
}

}  // namespace

std::string checkConfigPath(ReplayBundle &bundle) {
    const std::string &path = bundle.records.configPath;
    if (path.empty()) {
        return std::string();
    }
    if (hasDotDot(path)) {
        return "the configuration path \"" + path + "\" has a .. in it";
    }
    if (path[0] == '/') {
        // "/" alone, or only slashes, names the root folder: no copy is that.
        const size_t start = path.find_first_not_of('/');
        for (const BundleFile &file : bundle.files) {
            if (start != std::string::npos && file.path == path.substr(start)) {
                return std::string();
            }
        }
        return "the configuration path \"" + path + "\" has no copy under root/";
    }
    // The stand-in gives a relative text beside the state file, bytes as they are.
    if (bundle.records.configPathHex || path.find('/') != std::string::npos || path == ".") {
        return "the configuration path \"" + path + "\" names no file beside capture.state";
    }
    bundle.configName = path;
    return std::string();
}

std::string readBundle(const std::string &path, ReplayBundle &out) {
    Fd dir(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        return path + ": " + strerror(errno);
    }
    std::string why = readRegular(dir.get(), "capture.state", kMaxStateSize, out.state);
    if (!why.empty()) {
        return "capture.state: " + why;
    }
    why = readReplayRecords(out.state, out.records);
    if (!why.empty()) {
        return "capture.state: " + why;
    }
    Fd root(openat(dir.get(), "root", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.get() < 0 && errno != ENOENT) {
        return std::string("root: ") +
               (errno == ENOTDIR || errno == ELOOP ? "not a folder" : strerror(errno));
    }
    Walk w{out};
    why = root.get() < 0 ? std::string() : walk(w, root.get(), std::string(), 0);
    if (!why.empty()) {
        return why;
    }
    why = checkConfigPath(out);
    if (!why.empty() || out.configName.empty()) {
        return why;
    }
    why = readRegular(dir.get(), out.configName, kMaxCopySize, out.configData);
    out.hasConfig = why.empty();
    return out.hasConfig || why == strerror(ENOENT) ? std::string() : out.configName + ": " + why;
}

}  // namespace velquar_replay
