// dravel: block-device nodes for the eMMC partitions, named after them.
//
// dravel DIR (re)creates /DIR/by-name and makes in it, for mmcblk0p1,
// mmcblk0p2, ... up to the first partition the kernel does not list, a block
// device node named after the partition's PARTNAME with the partition's
// device number, so that other programs can open a partition by name. It
// prints nothing on standard output but its help banner. When by-name cannot
// be put in place, or a node cannot be made, it says why on standard error
// and exits 1; a partition without a usable name or number, or with the name
// of one before it, just makes no node.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_io.h"
#include "printable.h"
#include "remove_tree.h"
#include "safe_path.h"
#include "uevent.h"

namespace {

const int kBufferSize = 4096;

// DIR as given, for the lines on standard error.
const char *dirText = "";

void escaped(const char *text) {
    escapeText(text, strlen(text),
               [](const char *piece, size_t length) { fwrite(piece, 1, length, stderr); });
}

// One line on standard error: what went wrong with DIR (and the partition
// name, when one is given), and why.
void report(const char *what, int error, const char *name = nullptr) {
    fputs("dravel: ", stderr);
    escaped(dirText);
    fprintf(stderr, ": %s", what);
    if (name) {
        escaped(name);
    }
    if (error != 0) {
        fprintf(stderr, " (%s)", strerror(error));
    }
    fputc('\n', stderr);
}

// Reads a regular file's first size bytes; -1 for anything else, or when a
// read fails.
ssize_t readPage(int fd, char *text, size_t size) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    char piece[kBufferSize];
    size_t done = 0;
    const velquar::ReadEnd end = velquar::readBounded(
        fd, size, piece, sizeof piece, [&](const char *data, size_t length, size_t offset) {
            memcpy(text + offset, data, length);
            done = offset + length;
            return true;
        });
    return end == velquar::ReadEnd::Failed ? -1 : static_cast<ssize_t>(done);
}

// Makes an empty folder of root's under a name no one can foresee in parent,
// mode 0700 whatever the umask until it is filled; returns it open and its
// name in name.
int makeFreshFolder(int parent, char *name, size_t size) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char bytes[6];
        if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
            return -1;
        }
        snprintf(name, size, ".by-name.%02x%02x%02x%02x%02x%02x", bytes[0], bytes[1], bytes[2],
                 bytes[3], bytes[4], bytes[5]);
        if (mkdirat(parent, name, 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return -1;
        }
        const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        // In a folder without the sticky bit a user could have swapped it.
        if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && fchmod(fd, 0700) == 0) {
            return fd;
        }
        const int error = fd >= 0 && st.st_uid != geteuid() ? EPERM : errno;
        if (fd >= 0) {
            close(fd);
        }
        errno = error;
        return -1;
    }
    return -1;
}

// Removes the entry name of parent whatever it is, a folder with all it
// holds, never following a link; false when something stays.
bool removeQuietly(int parent, const char *name) {
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        const bool emptied = removeContents(fd, name, RemoveOptions()).left == 0;
        return (unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT) && emptied;
    }
    return unlinkat(parent, name, 0) == 0 || errno == ENOENT ||
           (errno == EISDIR && (unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT));
}

// Moves the folder building to by-name in one step: exchanged with what
// stands there, which then goes under building's name and is removed, or
// renamed when nothing does. A user who puts something at by-name or takes
// it away in between only makes it try again. False when building could not
// take by-name's place; it is then removed.
bool putInPlace(int parent, const char *building) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (renameat2(parent, building, parent, "by-name", RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
        if (renameat2(parent, building, parent, "by-name", RENAME_EXCHANGE) == 0) {
            if (!removeQuietly(parent, building)) {
                report("the old by-name could not be removed whole; it stays beside it", 0);
            }
            return true;
        }
        if (errno != ENOENT) {
            break;
        }
    }
    const int error = errno;
    // A file system without the two ways: by-name removed, then renamed over.
    if (error == EINVAL || error == ENOSYS) {
        removeQuietly(parent, "by-name");
        if (renameat(parent, building, parent, "by-name") == 0) {
            return true;
        }
    }
    report("by-name could not be put in place", error);
    // Nothing took its place: leave no half-built folder behind.
    removeQuietly(parent, building);
    return false;
}

// Whether by-name is a mount point, which no rename can move.
bool isMountPoint(int parent) {
    struct statx sx;
    if (statx(parent, "by-name", AT_SYMLINK_NOFOLLOW, STATX_TYPE, &sx) != 0 ||
        !S_ISDIR(sx.stx_mode)) {
        return false;
    }
    if (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) {
        return (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }
    struct stat folder;
    struct stat above;
    return fstatat(parent, "by-name", &folder, AT_SYMLINK_NOFOLLOW) == 0 &&
           fstat(parent, &above) == 0 && folder.st_dev != above.st_dev;
}

// by-name as a mount point: emptied where it stands and filled there.
int refreshInPlace(int parent) {
    const int folder = openat(parent, "by-name", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int contents = folder >= 0 ? dup(folder) : -1;
    if (contents < 0) {
        report("the mount point by-name cannot be opened", errno);
        if (folder >= 0) {
            close(folder);
        }
        return -1;
    }
    const RemoveResult removed = removeContents(contents, "by-name", RemoveOptions());
    if (removed.left > 0) {
        report("the mount point by-name could not be emptied", removed.error);
        close(folder);
        return -1;
    }
    return folder;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        puts("#########################   Dravel Help   #########################");
        puts("Usage: /Dravel/dravel [DIR]\n");
        puts("Ex: /Dravel/dravel /dev/shm");
        puts("################################################################## ");
        return 0;
    }

    // DIR is taken from the root whatever it holds. A path that does not fit
    // could not be used anyway, and cut short it could name a parent of the
    // folder, so nothing is touched.
    dirText = argv[1];
    char byName[kBufferSize];
    if (snprintf(byName, sizeof byName, "/%s/by-name", argv[1]) >= kBufferSize) {
        report("DIR is too long", ENAMETOOLONG);
        return 1;
    }
    // Its folders are made as mkdir -p does, 0755; a link on the way is
    // followed only where no other user could have put it.
    char *slash = strrchr(byName, '/');
    *slash = '\0';
    const int path = openSafePath(byName, kSafePathMake);
    *slash = '/';
    const int parent = path >= 0 ? openat(path, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (parent < 0) {
        report("DIR cannot be opened or made", errno);
        if (path >= 0) {
            close(path);
        }
        return 1;
    }
    close(path);
    // The nodes are made in a fresh folder of root's beside by-name, which
    // then takes by-name's place in one step: whatever stood there, and
    // whatever a user does meanwhile, by-name ends up root's own. A mount
    // point cannot be moved: it is refreshed where it stands.
    const bool mounted = isMountPoint(parent);
    char building[32];
    const int folder =
        mounted ? refreshInPlace(parent) : makeFreshFolder(parent, building, sizeof building);
    if (folder < 0) {
        if (!mounted) {
            report("no folder can be made for by-name", errno);
        }
        close(parent);
        return 1;
    }

    bool privileged = true;
    bool nodesMade = true;
    for (int n = 1;; ++n) {
        char ueventPath[kBufferSize];
        snprintf(ueventPath, sizeof ueventPath, "/sys/block/mmcblk0/mmcblk0p%d/uevent", n);
        // A uevent that cannot be opened ends the scan; one that is not a
        // regular file (a FIFO, a device) makes no node.
        const int uevent = open(ueventPath, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (uevent < 0) {
            break;
        }
        char text[kUeventMaxSize];
        const ssize_t size = readPage(uevent, text, sizeof text);
        close(uevent);
        Uevent partition;
        if (size < 0 || !readUevent(text, static_cast<size_t>(size), &partition) ||
            mknodat(folder, partition.name, S_IFBLK | 0755,
                    makedev(partition.major, partition.minor)) == 0 ||
            errno == EEXIST) {
            continue;  // made, or the name of a partition before it
        }
        if (errno == EPERM) {
            privileged = false;
        } else {
            report("no node for the partition ", errno, partition.name);
            nodesMade = false;
        }
    }
    fchmod(folder, 0755);
    close(folder);
    const bool placed = mounted || putInPlace(parent, building);
    close(parent);
    if (!privileged) {
        report("device nodes cannot be made (not root?)", EPERM);
    }
    return placed && privileged && nodesMade ? 0 : 1;
}
