#include "ini_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

// What a file of this process may hold: a write past the soft file-size
// limit fails and raises SIGXFSZ, which kills an application that does not
// ignore it.
size_t fileSizeLimit() {
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    return static_cast<size_t>(limit.rlim_cur);
}

enum class Copied { Whole, Failed, PastTheLimit };

// Reads the whole of file without waiting and writes it into copy while it
// fits the file-size limit: Failed when a read would block or fails, or
// when the file holds more than the bound. The size the file reports is
// checked first, but kernel files report none, so the bytes are counted as
// they come.
Copied copyBounded(int file, int copy) {
    const size_t room = fileSizeLimit();
    char chunk[8192];
    size_t total = 0;
    for (;;) {
        const ssize_t n = read(file, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return Copied::Failed;
        }
        if (n == 0) {
            return total > room ? Copied::PastTheLimit : Copied::Whole;
        }
        total += static_cast<size_t>(n);
        if (total > kMaxIniFileSize) {
            return Copied::Failed;
        }
        if (total <= room && !writeAll(copy, chunk, static_cast<size_t>(n))) {
            return Copied::Failed;
        }
    }
}

// What iniparser is to parse for the regular file at path, read without
// waiting and within the bound: a private in-memory copy, or, where the
// process's file-size limit leaves no room for one, the file's own
// descriptor, which was just read to its end; -1 when there is neither.
int privateCopy(const char *path) {
    Descriptor file(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status;
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > static_cast<off_t>(kMaxIniFileSize)) {
        return -1;
    }
    // A cancelled read unwinds through here: both descriptors are closed.
    Descriptor copy(memfd_create("velquar-ini", MFD_CLOEXEC));
    if (copy.get() < 0) {
        return -1;
    }
    switch (copyBounded(file.get(), copy.get())) {
        case Copied::Whole:
            return copy.release();
        case Copied::PastTheLimit:
            return file.release();
        case Copied::Failed:
            break;
    }
    return -1;
}

}  // namespace

dictionary *loadIniFile(const char *path) {
    Descriptor copy(privateCopy(path));
    if (copy.get() < 0) {
        return nullptr;
    }
    // iniparser opens by name only: it gets the descriptor by its /proc
    // name, so what it parses is what was read above (the file itself only
    // under a file-size limit too small for the copy), and the file is never
    // opened again by its own name.
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", copy.get());
    // iniparser keeps its stream and a half-built dictionary on the stack of
    // its own C code: the load is not interrupted.
    CancellationHeldOff held;
    return iniparser_load(self);
}

}  // namespace velquar
