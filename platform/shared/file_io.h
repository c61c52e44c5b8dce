// Reading a file of bounded size and writing a whole buffer, one way for the
// library, the programs and the stand-ins. Header-only and C library only:
// the root tools, which link nothing but libc, compile it in as well.
#ifndef VELQUAR_SHARED_FILE_IO_H
#define VELQUAR_SHARED_FILE_IO_H

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace velquar {

// A descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

enum class ReadEnd { Whole, TooLarge, Failed };

// Reads the file open as fd from its start, up to size bytes at a time into
// buffer, and hands each piece to take(piece, length, offset), which returns
// false (errno set) to stop the read as Failed. Whole at the end of a file
// of at most bound bytes; TooLarge when it holds more, every byte up to the
// bound handed over and never more than one past it read (the size a file
// reports may be wrong, and a kernel file reports none); Failed (errno set)
// when a read fails. An interrupted read is retried.
//
// The file is read at explicit offsets: the descriptor's position, which
// another process or, for a descriptor that was 0, 1 or 2 for a moment,
// another thread may share, is neither used nor moved. The caller opens the
// file without blocking (O_NONBLOCK) and checks that it is a regular file:
// a FIFO or a device would block or never end.
template <typename Take>
ReadEnd readBounded(int fd, size_t bound, char *buffer, size_t size, Take take) {
    size_t total = 0;
    for (;;) {
        const size_t left = bound - total;
        const size_t want = left < size ? left + 1 : size;
        const ssize_t n = pread(fd, buffer, want, static_cast<off_t>(total));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadEnd::Failed;
        }
        if (n == 0) {
            return ReadEnd::Whole;
        }
        const size_t kept = static_cast<size_t>(n) < left ? static_cast<size_t>(n) : left;
        if (kept > 0 && !take(static_cast<const char *>(buffer), kept, total)) {
            return ReadEnd::Failed;
        }
        total += kept;
        if (static_cast<size_t>(n) > kept) {
            return ReadEnd::TooLarge;
        }
    }
}

// readBounded's take for a text (a std::string): appends each piece to it.
template <typename Text>
auto appendTo(Text &text) {
    return [&text](const char *piece, size_t length, size_t) {
        text.append(piece, length);
        return true;
    };
}

// The whole of fd, at most bound bytes (as readBounded reads), appended to
// text.
template <typename Text>
ReadEnd readText(int fd, size_t bound, Text &text) {
    char chunk[16384];
    return readBounded(fd, bound, chunk, sizeof chunk, appendTo(text));
}

// Writes all size bytes of data to fd: at offset when it is 0 or more (the
// descriptor's position neither used nor moved), else at the descriptor's
// position. Short and interrupted writes are carried on; false (errno set
// unless a write wrote nothing) when a write fails.
inline bool writeAll(int fd, const char *data, size_t size, off_t offset = -1) {
    while (size > 0) {
        const ssize_t n = offset < 0 ? write(fd, data, size) : pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        if (offset >= 0) {
            offset += n;
        }
    }
    return true;
}

}  // namespace velquar

#endif
