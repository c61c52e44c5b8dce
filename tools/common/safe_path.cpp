#include "safe_path.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

// Symbolic links followed in one path at most, as the kernel allows.
const int kMaxLinks = 40;

bool linkTrusted(const struct stat &link, const struct stat &folder) {
    if (link.st_uid == 0 || link.st_uid == geteuid()) {
        return true;
    }
    return !(folder.st_mode & S_IWOTH) && (!(folder.st_mode & S_IWGRP) || folder.st_gid == 0);
}

int fail(int fd, int error) {
    if (fd >= 0) {
        close(fd);
    }
    errno = error;
    return -1;
}

// Opens, as O_PATH, what path leads to from the folder dirFd (taken over).
int resolve(int dirFd, const char *path, unsigned flags, int *links) {
    int fd = dirFd;
    if (path[0] == '/') {
        close(fd);
        fd = openRootFolder();
        if (fd < 0) {
            return -1;
        }
    }
    for (const char *at = path; *at;) {
        const char *end = strchrnul(at, '/');
        const size_t length = static_cast<size_t>(end - at);
        char name[NAME_MAX + 1];
        if (length > NAME_MAX) {
            return fail(fd, ENAMETOOLONG);
        }
        memcpy(name, at, length);
        name[length] = '\0';
        at = *end ? end + 1 : end;
        if (length == 0 || strcmp(name, ".") == 0) {
            continue;
        }
        int next = openat(fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && (flags & kSafePathMake)) {
            const mode_t mask = umask(0);
            const int made = mkdirat(fd, name, 0755);
            umask(mask);
            if (made != 0 && errno != EEXIST) {
                return fail(fd, errno);
            }
            next = openat(fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
        }
        struct stat st;
        if (next < 0 || fstat(next, &st) != 0) {
            const int error = errno;
            if (next >= 0) {
                close(next);
            }
            return fail(fd, error);
        }
        if (!S_ISLNK(st.st_mode)) {
            close(fd);
            fd = next;
            continue;
        }
        struct stat folder;
        char target[PATH_MAX];
        const ssize_t size = readlinkat(next, "", target, sizeof target - 1);
        close(next);
        if (size <= 0 || fstat(fd, &folder) != 0) {
            return fail(fd, size == 0 ? ENOENT : errno);
        }
        if (++*links > kMaxLinks) {
            return fail(fd, ELOOP);
        }
        if (!linkTrusted(st, folder)) {
            return fail(fd, EPERM);
        }
        target[size] = '\0';
        fd = resolve(fd, target, flags, links);
        if (fd >= 0 && folder.st_uid != 0 && (fstat(fd, &st) != 0 || st.st_uid != folder.st_uid)) {
            return fail(fd, EPERM);
        }
        if (fd < 0) {
            return -1;
        }
    }
    return fd;
}

}  // namespace

int openRootFolder() {
    const int fd = open("/proc/self/root", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 ? fd : open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

int openSafePath(const char *path, unsigned flags) {
    int links = 0;
    const int start = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return start < 0 ? -1 : resolve(start, path, flags, &links);
}
