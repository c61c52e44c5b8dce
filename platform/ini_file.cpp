#include "ini_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Copies the whole of file into copy without waiting: false when a read
// would block or fails, or when the file holds more than the bound. The
// size the file reports is checked first, but kernel files report none, so
// the bytes are counted as they come.
bool copyBounded(int file, int copy) {
    char chunk[8192];
    size_t total = 0;
    for (;;) {
        const ssize_t n = read(file, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        total += static_cast<size_t>(n);
        if (total > kMaxIniFileSize || !writeAll(copy, chunk, static_cast<size_t>(n))) {
            return false;
        }
    }
}

// A private in-memory copy of the regular file at path, read without
// waiting and within the bound; -1 when there is none. The file is closed
// before it returns.
int privateCopy(const char *path) {
    Descriptor file(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status;
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > static_cast<off_t>(kMaxIniFileSize)) {
        return -1;
    }
    // A cancelled read unwinds through here: both descriptors are closed.
    Descriptor copy(memfd_create("velquar-ini", MFD_CLOEXEC));
    if (copy.get() < 0 || !copyBounded(file.get(), copy.get())) {
        return -1;
    }
    return copy.release();
}

}  // namespace

dictionary *loadIniFile(const char *path) {
    Descriptor copy(privateCopy(path));
    if (copy.get() < 0) {
        return nullptr;
    }
    // iniparser opens by name only: it gets the private copy by its /proc
    // name, so what it parses is what was read above, and the file itself
    // is never opened again.
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", copy.get());
    // iniparser keeps its stream and a half-built dictionary on the stack of
    // its own C code: the load is not interrupted.
    CancellationHeldOff held;
    return iniparser_load(self);
}

}  // namespace velquar
