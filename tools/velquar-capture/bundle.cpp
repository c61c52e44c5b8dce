#include "bundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <iniparser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "file_io.h"
#include "platform_calls.h"
#include "printable.h"
#include "remove_tree.h"

const char kStateName[] = "capture.state";
const char kConfigName[] = "config.ini";

namespace {

const size_t kMaxCopy = 1 << 20;

// A device file as it is now: a regular file (or a kernel table that says
// it is one) of at most 1 MiB, read without blocking on anything else; mode
// gets its permission bits.
bool readDeviceFile(const std::string &path, std::string &data, mode_t &mode) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    mode = st.st_mode & 0777;
    if (error == 0) {
        const velquar::ReadEnd end = velquar::readText(fd, kMaxCopy, data);
        error = end == velquar::ReadEnd::TooLarge ? EFBIG
                : end == velquar::ReadEnd::Failed ? errno
                                                  : 0;
    }
    close(fd);
    errno = error;
    return error == 0;
}

}  // namespace

bool writeNewFile(int dir, const std::string &name, const std::string &data, int keepMode) {
    // A copy is made no wider than its source from the start.
    const mode_t mode = keepMode < 0 ? 0644 : static_cast<mode_t>(keepMode) & 0600;
    int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        return false;
    }
    bool ok = velquar::writeAll(fd, data.data(), data.size()) &&
              (keepMode < 0 || fchmod(fd, keepMode & 0777) == 0);
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}

namespace {

bool isEmptyFolder(int dir) {
    // A description of its own: a duplicate would share dir's read position.
    const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *d = fd >= 0 ? fdopendir(fd) : nullptr;
    if (!d) {
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    bool empty = true;
    for (struct dirent *e; empty && (e = readdir(d)) != nullptr;) {
        empty = strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0;
    }
    closedir(d);
    return empty;
}

}  // namespace

bool Bundle::reserve(const std::string &path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    const size_t slash = folder.rfind('/');
    m_name = slash == std::string::npos ? folder : folder.substr(slash + 1);
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
    m_parent = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_parent < 0) {
        return false;
    }
    struct stat st;
    if (fstatat(m_parent, m_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT;
}

bool Bundle::create() {
    // Exactly 0700, whatever the umask.
    const mode_t umasked = umask(0);
    const int made = mkdirat(m_parent, m_name.c_str(), 0700);
    umask(umasked);
    if (made != 0) {
        return false;
    }
    // Whoever may write the parent folder may have put something else in
    // its place since: only an empty folder of this user's, open to nobody
    // else, is the one just made.
    m_dir = openat(m_parent, m_name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (m_dir < 0 || fstat(m_dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 07777) != 0700 || !isEmptyFolder(m_dir)) {
        if (m_dir >= 0) {
            close(m_dir);
            m_dir = -1;
        }
        m_replaced = true;
        return false;
    }
    return mkdirat(m_dir, "root", 0755) == 0;
}

void Bundle::remove() {
    if (m_dir < 0) {
        return;
    }
    // Everything below the folder opened, then the folder by its name,
    // which removes nothing but an empty folder.
    removeContents(m_dir, m_name.c_str(), RemoveOptions());
    m_dir = -1;
    unlinkat(m_parent, m_name.c_str(), AT_REMOVEDIR);
}

Bundle::~Bundle() {
    if (m_dir >= 0) {
        close(m_dir);
    }
    if (m_parent >= 0) {
        close(m_parent);
    }
}

std::string Bundle::iniValue(const std::string &path, const char *key) const {
    const std::string copy = "/proc/self/fd/" + std::to_string(m_dir) + "/root" + path;
    dictionary *ini = iniparser_load(copy.c_str());
    if (!ini) {
        return std::string();
    }
    std::string value = iniparser_getstring(ini, key, "");
    iniparser_freedict(ini);
    return value;
}

bool Bundle::copyToRoot(const std::string &path) {
    if (!m_copied.insert(path).second) {
        return false;
    }
    std::vector<std::string> parts;
    bool sound = !path.empty() && path[0] == '/';
    for (size_t start = 1; sound && start < path.size();) {
        size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        sound = part != "." && part != "..";
        if (!part.empty()) {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string data;
    mode_t mode = 0;
    if (!sound || parts.empty()) {
        return note(path, "not an absolute path without . or ..", false);
    }
    if (!readDeviceFile(path, data, mode)) {
        return note(path, strerror(errno), false);
    }
    parts.insert(parts.begin(), "root");
    int dir = dup(m_dir);
    for (size_t n = 0; dir >= 0 && n + 1 < parts.size(); ++n) {
        mkdirat(dir, parts[n].c_str(), 0755);
        int next = openat(dir, parts[n].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        dir = next;
    }
    const bool ok = dir >= 0 && writeNewFile(dir, parts.back(), data, static_cast<int>(mode));
    const std::string error = strerror(errno);
    if (dir >= 0) {
        close(dir);
    }
    return ok ? note(path, "copied to root" + path, true)
              : note(path, "cannot copy: " + error, false);
}

bool Bundle::note(const std::string &path, const std::string &what, bool copied) {
    fprintf(stderr, "velquar-capture: %s: %s\n", printable(path).c_str(), what.c_str());
    return copied;
}

bool fillBundle(Bundle &bundle, const Findings &found) {
    bool copied = false;
    std::string data;
    mode_t mode = 0;
    if (!found.configFromService) {
        bundle.copyToRoot(found.configPath);
    } else if (readDeviceFile(found.configPath, data, mode) &&
               writeNewFile(bundle.dir(), kConfigName, data, static_cast<int>(mode))) {
        fprintf(stderr, "velquar-capture: %s: copied to %s\n", printable(found.configPath).c_str(),
                kConfigName);
        copied = true;
    } else {
        fprintf(stderr, "velquar-capture: %s: cannot copy: %s\n",
                printable(found.configPath).c_str(), strerror(errno));
    }
    // The OLED chain: sys.ini names the model's file, which names the panel's.
    std::string file = velquar::kSysIniPath;
    for (const char *key : {velquar::kModelFileKey, velquar::kPanelFileKey, ""}) {
        if (file.empty() || !bundle.copyToRoot(file) || !*key) {
            break;
        }
        file = bundle.iniValue(file, key);
    }
    return copied;
}
