// dravel: block-device nodes for the eMMC partitions, named after them.
//
// dravel DIR (re)creates /DIR/by-name and makes in it, for mmcblk0p1,
// mmcblk0p2, ... up to the first partition the kernel does not list, a block
// device node named after the partition's PARTNAME with the partition's
// device number, so that other programs can open a partition by name. It
// prints nothing but its help banner and always exits 0: what fails is left
// as it is.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "uevent.h"

namespace {

const int kBufferSize = 4096;

// Removes everything below the directory open as fd, never following a
// symbolic link out of the tree and going on past failures; closes fd.
void removeContents(int fd) {
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
            continue;
        }
        // O_DIRECTORY fails before anything is opened, so a stale device
        // node or FIFO is never opened.
        const int sub = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            removeContents(sub);
            unlinkat(dirfd(dir), name, AT_REMOVEDIR);
        } else {
            unlinkat(dirfd(dir), name, 0);
        }
    }
    closedir(dir);
}

// Removes path as rm -rf does: a directory with all it holds, or the file,
// node or symbolic link itself.
void removeTree(const char *path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        removeContents(fd);
        rmdir(path);
    } else {
        unlink(path);
    }
}

// Creates the directory path and its missing parents, as mkdir -p does.
void makeDirectories(char *path) {
    for (char *slash = strchr(path + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        mkdir(path, 0777);
        *slash = '/';
    }
    mkdir(path, 0777);
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
    if (access(byName, F_OK) == 0) {
        removeTree(byName);
    }
    makeDirectories(byName);
    // Nodes are made relative to the folder as opened here, so a link put in
    // its place later is not followed.
    const int folder = open(byName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        return 0;
    }

    for (int n = 1;; ++n) {
        char ueventPath[kBufferSize];
        snprintf(ueventPath, sizeof ueventPath, "/sys/block/mmcblk0/mmcblk0p%d/uevent", n);
        FILE *uevent = fopen(ueventPath, "r");
        if (!uevent) {
            break;
        }
        Uevent partition;
        const bool usable = readUevent(uevent, &partition);
        fclose(uevent);
        if (usable) {
            mknodat(folder, partition.name, S_IFBLK | 0755,
                    makedev(partition.major, partition.minor));
        }
    }
    close(folder);
    return 0;
}
