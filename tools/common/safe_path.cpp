#include "safe_path.h"

#include <endian.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Symbolic links followed in one path at most, as the kernel allows.
const int kMaxLinks = 40;

// The access ACL of fd in buffer (malloc'd); its size, 0 when the file has
// none, -1 when it cannot be read. The raw attribute rather than libacl:
// the root tools link nothing the television does not ship them with, and
// the format is the kernel's own (a version word, then tag, permission, id
// entries). An O_PATH descriptor answers no attribute call: a folder is
// opened again for reading, anything else is read through /proc.
ssize_t readAcl(int fd, char **buffer) {
    const char *const name = "system.posix_acl_access";
    *buffer = nullptr;
    int readable = fd;
    if (fgetxattr(fd, name, nullptr, 0) < 0 && errno == EBADF) {
        readable = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    char proc[32];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    const auto get = [&](char *into, size_t size) {
        return readable >= 0 ? fgetxattr(readable, name, into, size)
                             : getxattr(proc, name, into, size);
    };
    ssize_t size = get(nullptr, 0);
    if (size < 0 && (errno == ENODATA || errno == EOPNOTSUPP)) {
        size = 0;
    } else if (size > 0) {
        // An ACL that grew meanwhile fails the second call: counted unread.
        *buffer = static_cast<char *>(malloc(static_cast<size_t>(size)));
        size = *buffer ? get(*buffer, static_cast<size_t>(size)) : -1;
    }
    if (readable != fd && readable >= 0) {
        close(readable);
    }
    return size;
}

// Whether a named entry of the ACL lets a user other than root or the
// running user, or a group other than root's, write. The owning group, the
// others and the mask are the mode's bits, which the caller has judged.
bool namedEntryWrites(const char *acl, size_t size) {
    posix_acl_xattr_header header;
    if (size < sizeof header || (size - sizeof header) % sizeof(posix_acl_xattr_entry) != 0) {
        return true;
    }
    memcpy(&header, acl, sizeof header);
    if (le32toh(header.a_version) != POSIX_ACL_XATTR_VERSION) {
        return true;
    }
    for (size_t at = sizeof header; at < size; at += sizeof(posix_acl_xattr_entry)) {
        posix_acl_xattr_entry entry;
        memcpy(&entry, acl + at, sizeof entry);
        const uint16_t tag = le16toh(entry.e_tag);
        const uint32_t id = le32toh(entry.e_id);
        if ((le16toh(entry.e_perm) & ACL_WRITE) && id != 0 &&
            (tag == ACL_GROUP || (tag == ACL_USER && id != geteuid()))) {
            return true;
        }
    }
    return false;
}

bool linkTrusted(int folderFd, const struct stat &link, const struct stat &folder) {
    return link.st_uid == 0 || link.st_uid == geteuid() || !othersMayWrite(folderFd, folder);
}

// Closes fd unless it stands for the working folder (AT_FDCWD).
void release(int fd) {
    if (fd >= 0) {
        close(fd);
    }
}

int fail(int fd, int error) {
    release(fd);
    errno = error;
    return -1;
}

// Opens, as O_PATH or for reading, what path leads to from the folder dirFd (taken over).
int resolve(int dirFd, const char *path, unsigned flags, int *links) {
    int fd = dirFd;
    if (path[0] == '/') {
        release(fd);
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
        // Only the last component is opened for reading; a link there is
        // met as O_PATH first (O_NOFOLLOW refuses it with ELOOP).
        const unsigned here = *at ? flags & ~kSafePathRead : flags;
        int next = -1;
        if (here & kSafePathRead) {
            next = openat(fd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (next < 0 && (!(here & kSafePathRead) || errno == ELOOP)) {
            next = openat(fd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
        }
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
            release(fd);
            fd = next;
            continue;
        }
        struct stat folder;
        char target[PATH_MAX];
        const ssize_t size = readlinkat(next, "", target, sizeof target - 1);
        close(next);
        if (size <= 0 || fstatat(fd, "", &folder, AT_EMPTY_PATH) != 0) {
            return fail(fd, size == 0 ? ENOENT : errno);
        }
        if (++*links > kMaxLinks) {
            return fail(fd, ELOOP);
        }
        if (!linkTrusted(fd, st, folder)) {
            return fail(fd, EPERM);
        }
        target[size] = '\0';
        fd = resolve(fd, target, here, links);
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

bool othersMayWrite(int fd, const struct stat &st) {
    if ((st.st_mode & S_IWOTH) || ((st.st_mode & S_IWGRP) && st.st_gid != 0)) {
        return true;
    }
    // With an ACL the group bits of the mode are its mask: 0775 root:root
    // may be a named user's write. Without them no entry but "other" writes.
    if (!(st.st_mode & S_IWGRP)) {
        return false;
    }
    char *acl = nullptr;
    const ssize_t size = readAcl(fd, &acl);
    const bool writes = size < 0 || (size > 0 && namedEntryWrites(acl, static_cast<size_t>(size)));
    free(acl);
    return writes;
}

int openSafePath(const char *path, unsigned flags) {
    // From the working folder without a descriptor of its own: a relative
    // path costs one descriptor less, which counts under a low limit.
    int links = 0;
    const int fd = resolve(AT_FDCWD, path, flags, &links);
    if (fd != AT_FDCWD) {
        return fd;
    }
    // A path of no components but "." names the working folder itself.
    return openat(AT_FDCWD, ".",
                  (flags & kSafePathRead) ? O_RDONLY | O_DIRECTORY | O_CLOEXEC
                                          : O_PATH | O_DIRECTORY | O_CLOEXEC);
}
