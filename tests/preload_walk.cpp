// Preloaded into factory-reset or dravel: every folder entry is read as of
// unknown type (DT_UNKNOWN), as on a file system that records none, so the
// walk must learn each entry's kind from its status; and every device node
// made is reported on standard error with the mode and owner of the folder
// it is made in at that moment. A folder named as VELQUAR_UNREADABLE says
// cannot be read ("Bad message", as an ext4 folder whose index fails its
// checksum).
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" ssize_t getdents64(int fd, void *buffer, size_t size) {
    using Real = ssize_t (*)(int, void *, size_t);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getdents64"));
    const char *unreadable = getenv("VELQUAR_UNREADABLE");
    char link[64];
    char path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = unreadable ? readlink(link, path, sizeof path - 1) : -1;
    if (length > 0) {
        path[length] = '\0';
        const char *name = strrchr(path, '/');
        if (name && strcmp(name + 1, unreadable) == 0) {
            errno = EBADMSG;
            return -1;
        }
    }
    const ssize_t n = real(fd, buffer, size);
    for (ssize_t at = 0; at < n;) {
        dirent64 *entry = reinterpret_cast<dirent64 *>(static_cast<char *>(buffer) + at);
        entry->d_type = DT_UNKNOWN;
        at += entry->d_reclen;
    }
    return n;
}

extern "C" int mknodat(int dirFd, const char *path, mode_t mode, dev_t dev) {
    using Real = int (*)(int, const char *, mode_t, dev_t);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "mknodat"));
    struct stat st;
    if (fstat(dirFd, &st) == 0) {
        fprintf(stderr, "node made in a folder of mode %04o, owner %u\n", st.st_mode & 07777,
                static_cast<unsigned>(st.st_uid));
    }
    return real(dirFd, path, mode, dev);
}
