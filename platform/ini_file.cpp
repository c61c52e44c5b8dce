#include "ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "cancellation.h"

namespace velquar {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

dictionary *loadIniFile(const char *path) {
    Descriptor file(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status;
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    // iniparser opens by name only. Through /proc it opens the very file
    // checked above, so a swap of the path meanwhile cannot bring a FIFO
    // back. Without /proc the path is opened again: the check then still
    // keeps out what is there now.
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", file.get());
    const char *name = access(self, R_OK) == 0 ? self : path;
    // iniparser keeps its stream and a half-built dictionary on the stack of
    // its own C code: a regular file's load is not interrupted.
    CancellationHeldOff held;
    return iniparser_load(name);
}

}  // namespace velquar
