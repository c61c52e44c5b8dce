// The golden answers in a bundle, read and written through the bundle's
// folder: a link at the file's name is neither followed nor replaced with
// its target's contents, so nothing outside the folder is read or written.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "file_io.h"
#include "fleet.h"

namespace {

bool failed(std::string &error, const std::string &what) {
    error = what + ": " + strerror(errno);
    return false;
}

}  // namespace

bool readGolden(const std::string &bundle, AnswerSet &golden, std::string &error) {
    const int dir = open(bundle.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return failed(error, "no golden answers");
    }
    const int fd = openat(dir, kGoldenName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    close(dir);
    if (fd < 0) {
        return failed(error, std::string("no golden answers: ") + kGoldenName);
    }
    const bool ok = readAnswersFrom(fd, golden, error);
    close(fd);
    if (!ok) {
        error = std::string("the golden answers cannot be used: ") + kGoldenName + ": " + error;
    }
    return ok;
}

bool writeGolden(const std::string &bundle, const std::string &document, std::string &error) {
    const int dir = open(bundle.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return failed(error, "cannot open the bundle");
    }
    // One name per write, so that a bundle named twice on the command line
    // is written twice, in turn, not refused by its other write.
    static std::atomic<unsigned> serial{0};
    const std::string temporary = std::string(".") + kGoldenName + "." + std::to_string(getpid()) +
                                  "." + std::to_string(serial++);
    const int fd =
        openat(dir, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (!ok) {
        failed(error, "cannot write " + temporary);
    } else {
        ok = velquar::writeAll(fd, document.data(), document.size()) && fsync(fd) == 0;
        if (!ok) {
            failed(error, "cannot write " + temporary);
        }
        if (close(fd) != 0 && ok) {
            ok = failed(error, "cannot write " + temporary);
        }
        // rename replaces a link at the name; it does not write through it.
        if (ok && renameat(dir, temporary.c_str(), dir, kGoldenName) != 0) {
            ok = failed(error, std::string("cannot put ") + kGoldenName + " in place");
        }
        if (!ok) {
            unlinkat(dir, temporary.c_str(), 0);
        }
    }
    close(dir);
    return ok;
}
