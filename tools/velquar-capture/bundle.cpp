#include "bundle.h"

#include <fcntl.h>
#include <iniparser.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform_calls.h"
#include "printable.h"

const char kStateName[] = "capture.state";
const char kConfigName[] = "config.ini";

namespace {

const size_t kMaxCopy = 1 << 20;

// A device file as it is now: a regular file (or a kernel table that says
// it is one) of at most 1 MiB, read without blocking on anything else.
bool readDeviceFile(const std::string &path, std::string &data) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    char chunk[4096];
    while (error == 0) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0) {
            break;
        } else if (n < 0) {
            error = errno == EINTR ? 0 : errno;
        } else if (data.size() + static_cast<size_t>(n) > kMaxCopy) {
            error = EFBIG;
        } else {
            data.append(chunk, static_cast<size_t>(n));
        }
    }
    close(fd);
    errno = error;
    return error == 0;
}

}  // namespace

bool writeAll(int fd, const std::string &data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// A new file in the bundle; the bundle's folders are all this run's own.
bool writeNewFile(int dir, const std::string &name, const std::string &data) {
    int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, data);
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}

bool Bundle::create(const std::string &path) {
    if (mkdir(path.c_str(), 0700) != 0) {
        return false;
    }
    m_dir = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return m_dir >= 0 && mkdirat(m_dir, "root", 0755) == 0;
}

Bundle::~Bundle() {
    if (m_dir >= 0) {
        close(m_dir);
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
    if (!sound || parts.empty()) {
        return note(path, "not an absolute path without . or ..", false);
    }
    if (!readDeviceFile(path, data)) {
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
    const bool ok = dir >= 0 && writeNewFile(dir, parts.back(), data);
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

// Copies the application's configuration file beside the state file and
// the device files the library reads under root/. True when config.ini
// holds the application's configuration file.
bool fillBundle(Bundle &bundle, const Findings &found) {
    bool copied = false;
    std::string data;
    if (!found.configFromService) {
        bundle.copyToRoot(found.configPath);
    } else if (readDeviceFile(found.configPath, data) &&
               writeNewFile(bundle.dir(), kConfigName, data)) {
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
    bundle.copyToRoot("/proc/net/wireless");
    return copied;
}
