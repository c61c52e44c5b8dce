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
#include "descriptor.h"
#include "file_io.h"

namespace velquar {
namespace {

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
// they come. Without a copy (copy -1) the file is only read through, and the
// result is PastTheLimit, as for a copy with no room.
//
// Both files are read and written at explicit offsets and the copy is cut
// to what was read: a descriptor that was 0, 1 or 2 for a moment (see
// aboveStandardStreams) may have met another thread's read or write, which
// moved the position the two share or left bytes in the copy.
Copied copyBounded(int file, int copy) {
    const size_t room = copy >= 0 ? fileSizeLimit() : 0;
    char chunk[8192];
    size_t total = 0;
    const ReadEnd end = readBounded(file, kMaxIniFileSize, chunk, sizeof chunk,
                                    [&](const char *piece, size_t length, size_t offset) {
                                        total = offset + length;
                                        return total > room || writeAll(copy, piece, length,
                                                                        static_cast<off_t>(offset));
                                    });
    if (end != ReadEnd::Whole) {
        return Copied::Failed;
    }
    if (copy < 0 || total > room) {
        return Copied::PastTheLimit;
    }
    return ftruncate(copy, static_cast<off_t>(total)) == 0 ? Copied::Whole : Copied::Failed;
}

// Whether name, a /proc/self/fd name, is the file open as fd: /proc may be
// missing (a chroot, a container) or not the kernel's.
bool namesDescriptor(const char *name, int fd) {
    struct stat named, open;
    return stat(name, &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}

}  // namespace

dictionary *loadIniFile(const char *path) {
    velquar::Fd file(
        aboveStandardStreams(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)));
    struct stat status;
    if (file.get() < 0 || fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > static_cast<off_t>(kMaxIniFileSize)) {
        return nullptr;
    }
    // What iniparser parses: a private in-memory copy of what is read here;
    // or, where the process's file-size limit leaves no room for one or
    // memfd_create is refused (a sandbox's seccomp filter), the file itself,
    // read to its end here first. A cancelled read unwinds through here:
    // both descriptors are closed.
    velquar::Fd copy(aboveStandardStreams(memfd_create("velquar-ini", MFD_CLOEXEC)));
    const Copied copied = copyBounded(file.get(), copy.get());
    if (copied == Copied::Failed) {
        return nullptr;
    }
    const int parsed = copied == Copied::Whole ? copy.get() : file.get();
    // iniparser opens by name only: it gets the descriptor by its /proc
    // name, so what it parses is what was read above, and the file is never
    // opened again by its own name. Only where /proc cannot name it (not
    // mounted) is the file opened again by its path: the file checked above
    // could be replaced in between, which is far better than losing the
    // settings.
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", parsed);
    // iniparser keeps its stream and a half-built dictionary on the stack of
    // its own C code: the load is not interrupted.
    CancellationHeldOff held;
    return iniparser_load(namesDescriptor(self, parsed) ? self : path);
}

}  // namespace velquar
