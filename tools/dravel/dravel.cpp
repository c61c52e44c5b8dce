// dravel: block-device nodes for the eMMC partitions, named after them.
//
// dravel DIR (re)creates /DIR/by-name and makes in it, for mmcblk0p1,
// mmcblk0p2, ... up to the first partition the kernel does not list, a block
// device node named after the partition's PARTNAME with the partition's
// device number, so that other programs can open a partition by name. It
// prints nothing but its help banner and always exits 0: what fails is left
// as it is.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "remove_tree.h"
#include "uevent.h"

namespace {

const int kBufferSize = 4096;

// Creates the directory path and its missing parents, as mkdir -p does.
void makeDirectories(char *path) {
    for (char *slash = strchr(path + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        mkdir(path, 0777);
        *slash = '/';
    }
    mkdir(path, 0777);
}

// Reads a regular file's first size bytes; -1 for anything else.
ssize_t readPage(int fd, char *text, size_t size) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = read(fd, text + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
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
        struct stat st;
        // In a folder without the sticky bit a user could have swapped it.
        if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && fchmod(fd, 0700) == 0) {
            return fd;
        }
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    return -1;
}

// Moves the folder building to by-name in one step: exchanged with what
// stands there, which then goes under building's name and is removed, or
// renamed when nothing does. A user who puts something at by-name or takes
// it away in between only makes it try again.
void putInPlace(int parent, const char *building) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (renameat2(parent, building, parent, "by-name", RENAME_NOREPLACE) == 0) {
            return;
        }
        if (errno != EEXIST) {
            break;
        }
        if (renameat2(parent, building, parent, "by-name", RENAME_EXCHANGE) == 0) {
            removeEntry(parent, building, 0);
            return;
        }
        if (errno != ENOENT) {
            break;
        }
    }
    // A file system without the two ways: by-name removed, then renamed over.
    if (errno == EINVAL || errno == ENOSYS) {
        removeEntry(parent, "by-name", 0);
        if (renameat(parent, building, parent, "by-name") == 0) {
            return;
        }
    }
    // Nothing took its place: leave no half-built folder behind.
    removeEntry(parent, building, 0);
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
    char byName[kBufferSize];
    if (snprintf(byName, sizeof byName, "/%s/by-name", argv[1]) >= kBufferSize) {
        return 0;
    }
    // The nodes are made in a fresh folder of root's beside by-name, which
    // then takes by-name's place in one step: whatever stood there, and
    // whatever a user does meanwhile, by-name ends up root's own.
    char *slash = strrchr(byName, '/');
    *slash = '\0';
    makeDirectories(byName);
    const int parent = open(byName, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *slash = '/';
    if (parent < 0) {
        return 0;
    }
    char building[32];
    const int folder = makeFreshFolder(parent, building, sizeof building);
    if (folder < 0) {
        close(parent);
        return 0;
    }

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
        if (size >= 0 && readUevent(text, static_cast<size_t>(size), &partition)) {
            mknodat(folder, partition.name, S_IFBLK | 0755,
                    makedev(partition.major, partition.minor));
        }
    }
    fchmod(folder, 0755);
    close(folder);
    putInPlace(parent, building);
    close(parent);
    return 0;
}
