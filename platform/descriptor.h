// Descriptors the library keeps open for a while.
#ifndef VELQUAR_DESCRIPTOR_H
#define VELQUAR_DESCRIPTOR_H

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velquar {

// fd itself when it is 3 or above, else a close-on-exec duplicate of it at 3
// or above, fd being closed either way; -1 (errno set) when fd is -1 or no
// duplicate can be made. An application that closed its standard streams
// (a daemon) has 0, 1 and 2 free, and the library's next descriptor would
// take one of them: a write to standard output from any thread would then
// land in the library's file, and a read of standard input would take its
// bytes.
inline int aboveStandardStreams(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) {
        return fd;
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int error = errno;
    close(fd);
    errno = error;
    return moved;
}

}  // namespace velquar

#endif
