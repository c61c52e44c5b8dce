#include "remove_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// Folders kept open below the listed one; deeper ancestors are closed and
// opened again through ".." on the way back up.
const int kOpenLevels = 16;

// One folder of the walk. Its entries are read whole before any is touched
// (removing while reading could skip some), each as a type byte followed by
// the NUL-terminated name.
struct Level {
    dev_t dev;
    ino_t ino;
    int fd;  // -1 while closed to stay within kOpenLevels
    char *names;
    size_t size;
    size_t capacity;
    size_t next;     // offset of the next entry to take
    size_t current;  // offset of the entry being worked on
};

bool append(Level *level, unsigned char type, const char *name) {
    const size_t length = strlen(name) + 2;
    if (level->capacity - level->size < length) {
        size_t capacity = level->capacity ? level->capacity : 32;
        while (capacity - level->size < length) {
            capacity *= 2;
        }
        char *grown = static_cast<char *>(realloc(level->names, capacity));
        if (!grown) {
            return false;
        }
        level->names = grown;
        level->capacity = capacity;
    }
    level->names[level->size] = static_cast<char>(type);
    memcpy(level->names + level->size + 1, name, length - 1);
    level->size += length;
    return true;
}

// Reads the entries of the folder just opened as fd; with too little
// memory, those read so far.
bool openLevel(Level *level, int fd) {
    memset(level, 0, sizeof *level);
    level->fd = fd;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return false;
    }
    level->dev = st.st_dev;
    level->ino = st.st_ino;
    char buffer[16384];
    for (;;) {
        const ssize_t n = getdents64(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const dirent64 *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
                continue;
            }
            if (!append(level, entry->d_type, name)) {
                return true;
            }
        }
    }
    return true;
}

void reportPath(const Level *levels, int depth, const char *path, RemoveReport report, void *arg) {
    size_t length = strlen(path) + 1;
    for (int i = 0; i <= depth; ++i) {
        length += strlen(levels[i].names + levels[i].current + 1) + 1;
    }
    char *text = static_cast<char *>(malloc(length));
    if (!text) {
        return;
    }
    char *end = stpcpy(text, path);
    for (int i = 0; i <= depth; ++i) {
        *end++ = '/';
        end = stpcpy(end, levels[i].names + levels[i].current + 1);
    }
    report(text, arg);
    free(text);
}

// An entry that is not a folder to descend into: removed by its own status.
void removeByStatus(const Level *levels, int depth, const char *path, unsigned flags,
                    RemoveReport report, void *arg) {
    const Level &level = levels[depth];
    const char *name = level.names + level.current + 1;
    struct stat st;
    if (fstatat(level.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (report) {
            reportPath(levels, depth, path, report, arg);
        }
    } else if (S_ISDIR(st.st_mode)) {
        unlinkat(level.fd, name, AT_REMOVEDIR);  // one that cannot be opened goes only when empty
    } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) || !(flags & kRemoveKeepSpecial)) {
        unlinkat(level.fd, name, 0);
    }
}

}  // namespace

void removeContents(int dirFd, const char *path, unsigned flags, RemoveReport report, void *arg) {
    int capacity = 64;
    Level *levels = static_cast<Level *>(malloc(capacity * sizeof(Level)));
    if (!levels) {
        close(dirFd);
        return;
    }
    openLevel(&levels[0], dirFd);
    int depth = 0;
    int lowestOpen = 1;  // levels[lowestOpen..depth] and levels[0] are open
    for (;;) {
        Level *level = &levels[depth];
        if (level->next >= level->size) {
            // This folder is done: back to its parent, which removes it.
            free(level->names);
            if (depth == 0) {
                break;
            }
            Level *parent = &levels[depth - 1];
            if (parent->fd < 0) {
                // Only a parent that is still the one left counts: a folder
                // moved meanwhile leads elsewhere, and the levels up to the
                // nearest open one are given up.
                const int up = openat(level->fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                struct stat st;
                if (up >= 0 && fstat(up, &st) == 0 && st.st_dev == parent->dev &&
                    st.st_ino == parent->ino) {
                    parent->fd = up;
                    lowestOpen = depth - 1;
                } else if (up >= 0) {
                    close(up);
                }
            }
            close(level->fd);
            --depth;
            if (parent->fd < 0) {
                parent->next = parent->size;
                lowestOpen = depth + 1;
                continue;
            }
            unlinkat(parent->fd, parent->names + parent->current + 1, AT_REMOVEDIR);
            continue;
        }
        level->current = level->next;
        const unsigned char type = static_cast<unsigned char>(level->names[level->current]);
        const char *name = level->names + level->current + 1;
        level->next = level->current + strlen(name) + 2;
        if (type == DT_REG || type == DT_LNK) {
            unlinkat(level->fd, name, 0);
            continue;
        }
        if (type == DT_CHR || type == DT_BLK || type == DT_FIFO || type == DT_SOCK) {
            if (!(flags & kRemoveKeepSpecial)) {
                unlinkat(level->fd, name, 0);
            }
            continue;
        }
        // A folder, or an entry of a file system that reports no type.
        // O_DIRECTORY fails before a device or FIFO is opened.
        const int fd =
            openat(level->fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            removeByStatus(levels, depth, path, flags, report, arg);
            continue;
        }
        if (depth + 1 == capacity) {
            Level *grown = static_cast<Level *>(realloc(levels, 2 * capacity * sizeof(Level)));
            if (!grown) {
                close(fd);
                continue;
            }
            levels = grown;
            capacity *= 2;
            level = &levels[depth];
        }
        if (depth + 1 - lowestOpen >= kOpenLevels) {
            close(levels[lowestOpen].fd);
            levels[lowestOpen].fd = -1;
            ++lowestOpen;
        }
        ++depth;
        openLevel(&levels[depth], fd);
    }
    close(levels[0].fd);
    free(levels);
}

void removeEntry(int dirFd, const char *name, unsigned flags) {
    const int fd = openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        removeContents(fd, name, flags, nullptr, nullptr);
        unlinkat(dirFd, name, AT_REMOVEDIR);
    } else {
        unlinkat(dirFd, name, 0);
    }
}
