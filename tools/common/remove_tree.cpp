#include "remove_tree.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "root_folder.h"

namespace {

// Folders kept open below the listed one while descriptors last; deeper
// ancestors are closed and opened again through ".." on the way back up.
const int kOpenLevels = 16;

// One folder of the walk. Its entries are read before any is touched
// (removing while reading could skip some), each as a type byte followed by
// the NUL-terminated name; when they do not all fit, those read are done
// and the folder is read again.
struct Level {
    dev_t dev;
    ino_t ino;
    int fd;  // -1 while closed to save descriptors
    char *names;
    size_t size;
    size_t capacity;
    size_t next;            // offset of the next entry to take
    size_t current;         // offset of the entry being worked on
    bool partial;           // not every entry fitted in names
    bool kept;              // something stays inside, so the folder does too
    unsigned long removed;  // entries removed since the folder was last read
    // While partial, the names of the entries that stay, so that a new read
    // skips them; forgetful when one did not fit (no new read then).
    char *stays;
    size_t staysSize;
    size_t staysCapacity;
    bool forgetful;
};

struct Walk {
    const RemoveOptions &options;
    const char *path;
    Level *levels;
    int capacity;
    int depth;
    int lowestOpen;  // levels[lowestOpen..depth] and levels[0] are open
    RemoveResult result;
};

void *grow(const Walk &walk, void *block, size_t size) {
    return walk.options.grow ? walk.options.grow(block, size) : realloc(block, size);
}

const char *entryName(const Level &level) {
    return level.names + level.current + 1;
}

// Appends name and its NUL to the list at *block, after a type byte when
// type is not -1; false when the list cannot grow.
bool append(const Walk &walk, char **block, size_t *size, size_t *capacity, int type,
            const char *name) {
    const size_t length = strlen(name) + (type >= 0 ? 2 : 1);
    if (*capacity - *size < length) {
        size_t more = *capacity ? *capacity : 32;
        while (more - *size < length) {
            more *= 2;
        }
        char *grown = static_cast<char *>(grow(walk, *block, more));
        if (!grown) {
            return false;
        }
        *block = grown;
        *capacity = more;
    }
    if (type >= 0) {
        (*block)[(*size)++] = static_cast<char>(type);
    }
    *size = static_cast<size_t>(stpcpy(*block + *size, name) - *block) + 1;
    return true;
}

// The path of the entry being worked on at level depth (the walk's own path
// for depth -1) to report with error.
void report(Walk *walk, int depth, int error, RemoveReport to) {
    if (!to) {
        return;
    }
    size_t length = strlen(walk->path) + 1;
    for (int i = 0; i <= depth; ++i) {
        length += strlen(entryName(walk->levels[i])) + 1;
    }
    char *text = static_cast<char *>(grow(*walk, nullptr, length));
    if (!text) {
        to(depth >= 0 ? entryName(walk->levels[depth]) : walk->path, error, walk->options.arg);
        return;
    }
    char *end = stpcpy(text, walk->path);
    for (int i = 0; i <= depth; ++i) {
        *end++ = '/';
        end = stpcpy(end, entryName(walk->levels[i]));
    }
    to(text, error, walk->options.arg);
    free(text);
}

bool stays(const Level &level, const char *name) {
    size_t at = 0;
    while (at < level.staysSize && strcmp(level.stays + at, name) != 0) {
        at += strlen(level.stays + at) + 1;
    }
    return at < level.staysSize;
}

// The current entry of level depth stays, and its folder with it.
void keep(Walk *walk, int depth) {
    Level &level = walk->levels[depth];
    level.kept = true;
    if (level.partial && !level.forgetful) {
        level.forgetful = !append(*walk, &level.stays, &level.staysSize, &level.staysCapacity, -1,
                                  entryName(level));
    }
}

// The entry at level depth (the walk's folder for -1) stays: one report,
// and its folder stays with it.
void leave(Walk *walk, int depth, int error) {
    if (walk->result.left++ == 0) {
        walk->result.error = error;
    }
    if (depth >= 0) {
        keep(walk, depth);
    }
    report(walk, depth, error, walk->options.left);
}

// Reads the folder's entries but those known to stay, as many as memory
// allows. A read error leaves the folder, with what it holds unread.
void readLevel(Walk *walk, int depth) {
    Level *level = &walk->levels[depth];
    level->size = 0;
    level->next = 0;
    level->partial = false;
    level->removed = 0;
    char buffer[16384];
    for (;;) {
        const ssize_t n = getdents64(level->fd, buffer, sizeof buffer);
        if (n < 0) {
            leave(walk, depth - 1, errno);
            level->kept = true;
        }
        if (n <= 0) {
            return;
        }
        for (ssize_t at = 0; at < n;) {
            const dirent64 *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            const char *name = entry->d_name;
            if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 ||
                (level->staysSize > 0 && stays(*level, name))) {
                continue;
            }
            if (!append(*walk, &level->names, &level->size, &level->capacity, entry->d_type,
                        name)) {
                level->partial = true;
                return;
            }
        }
    }
}

bool isSpecial(mode_t mode) {
    return S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

// Unlinks the current entry of level depth (a folder with AT_REMOVEDIR).
void unlinkCurrent(Walk *walk, int depth, int flags) {
    Level &level = walk->levels[depth];
    if (unlinkat(level.fd, entryName(level), flags) == 0) {
        ++level.removed;
    } else if (errno != ENOENT) {
        leave(walk, depth, errno);
    }
}

// An entry that is not a folder to descend into, by its own status; why it
// could not be opened as a folder is openError.
void removeByStatus(Walk *walk, int openError) {
    Level &level = walk->levels[walk->depth];
    struct stat st;
    if (fstatat(level.fd, entryName(level), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        report(walk, walk->depth, error, walk->options.missing);
        if (error != ENOENT) {
            leave(walk, walk->depth, error);
        }
    } else if (S_ISDIR(st.st_mode)) {
        // A folder that cannot be opened goes only when it is empty.
        if (unlinkat(level.fd, entryName(level), AT_REMOVEDIR) == 0) {
            ++level.removed;
        } else if (errno != ENOENT) {
            leave(walk, walk->depth, openError);
        }
    } else if (isSpecial(st.st_mode) && (walk->options.flags & kRemoveKeepSpecial)) {
        keep(walk, walk->depth);
    } else {
        unlinkCurrent(walk, walk->depth, 0);
    }
}

// Closes the highest ancestor still open to free a descriptor; false when
// only the walk's folder and the current one are open.
bool closeAncestor(Walk *walk) {
    if (walk->lowestOpen >= walk->depth) {
        return false;
    }
    if (walk->lowestOpen > 0) {
        close(walk->levels[walk->lowestOpen].fd);
        walk->levels[walk->lowestOpen].fd = -1;
    }
    ++walk->lowestOpen;
    return true;
}

int openChild(Walk *walk, int at, const char *name) {
    for (;;) {
        // O_DIRECTORY fails before a device or FIFO is opened.
        const int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || !closeAncestor(walk)) {
            return fd;
        }
    }
}

// Done with the folder at the top: back to its parent, which removes it.
// False when the walk's own folder is done.
bool climb(Walk *walk) {
    Level *level = &walk->levels[walk->depth];
    if (level->partial) {
        // Memory ran short while reading: remove what was read, then read
        // again, for as long as that makes progress.
        if (level->removed > 0 && !level->forgetful && lseek(level->fd, 0, SEEK_SET) == 0) {
            readLevel(walk, walk->depth);
            return true;
        }
        leave(walk, walk->depth - 1, ENOMEM);
        level->kept = true;
    }
    free(level->names);
    level->names = nullptr;
    free(level->stays);
    level->stays = nullptr;
    if (walk->depth == 0) {
        return false;
    }
    Level *parent = &walk->levels[walk->depth - 1];
    int error = 0;
    if (parent->fd < 0) {
        // Only a parent that is still the one left counts: a folder moved
        // meanwhile leads elsewhere, and the levels up to the nearest open
        // one are given up. A level given up itself has no way up and is
        // left for the same reason, not for its missing descriptor.
        const int up = level->fd >= 0 ? openChild(walk, level->fd, "..") : -1;
        struct stat st;
        if (up >= 0 && fstat(up, &st) == 0 && st.st_dev == parent->dev &&
            st.st_ino == parent->ino) {
            parent->fd = up;
            walk->lowestOpen = walk->depth - 1;
        } else {
            error = up >= 0 || level->fd < 0 ? ESTALE : errno;
            if (up >= 0) {
                close(up);
            }
        }
    }
    const bool kept = level->kept;
    close(level->fd);
    --walk->depth;
    if (parent->fd < 0) {
        // What this folder still holds is out of reach now.
        parent->next = parent->size;
        parent->partial = false;
        walk->lowestOpen = walk->depth + 1;
        leave(walk, walk->depth, error);
        return true;
    }
    // Back at an open folder after the levels above it were given up: none
    // of them counts as open any more, so the next ones may be closed again.
    walk->lowestOpen = std::min(walk->lowestOpen, walk->depth + 1);
    if (unlinkat(parent->fd, entryName(*parent), AT_REMOVEDIR) == 0) {
        ++parent->removed;
    } else if (errno != ENOENT) {
        if (kept) {
            keep(walk, walk->depth);  // what stays inside was reported, or is meant to stay
        } else {
            leave(walk, walk->depth, errno);
        }
    }
    return true;
}

// Descends into the current entry of the top level, a folder open as fd.
void descend(Walk *walk, int fd) {
    struct stat st;
    // The root folder, mounted below, is never emptied.
    const int error = fstat(fd, &st) != 0 ? errno : isRootFolder(st) ? EBUSY : 0;
    if (error != 0) {
        close(fd);
        leave(walk, walk->depth, error);
        return;
    }
    if (walk->depth + 1 == walk->capacity) {
        Level *grown =
            static_cast<Level *>(grow(*walk, walk->levels, 2 * walk->capacity * sizeof(Level)));
        if (!grown) {
            close(fd);
            leave(walk, walk->depth, ENOMEM);
            return;
        }
        walk->levels = grown;
        walk->capacity *= 2;
    }
    if (walk->depth + 1 - walk->lowestOpen >= kOpenLevels) {
        closeAncestor(walk);
    }
    Level *level = &walk->levels[++walk->depth];
    memset(level, 0, sizeof *level);
    level->fd = fd;
    level->dev = st.st_dev;
    level->ino = st.st_ino;
    readLevel(walk, walk->depth);
}

void step(Walk *walk) {
    Level *level = &walk->levels[walk->depth];
    level->current = level->next;
    const unsigned char type = static_cast<unsigned char>(level->names[level->current]);
    const char *name = entryName(*level);
    level->next = level->current + strlen(name) + 2;
    const bool special = type == DT_CHR || type == DT_BLK || type == DT_FIFO || type == DT_SOCK;
    if (special && (walk->options.flags & kRemoveKeepSpecial)) {
        keep(walk, walk->depth);
        return;
    }
    if (special || type == DT_REG || type == DT_LNK) {
        unlinkCurrent(walk, walk->depth, 0);
        return;
    }
    // A folder, or an entry of a file system that reports no type.
    const int fd = openChild(walk, level->fd, name);
    if (fd < 0) {
        removeByStatus(walk, errno);
        return;
    }
    descend(walk, fd);
}

}  // namespace

RemoveResult removeContents(int dirFd, const char *path, const RemoveOptions &options) {
    Walk walk{options, path, nullptr, 64, 0, 1, RemoveResult()};
    walk.levels = static_cast<Level *>(grow(walk, nullptr, walk.capacity * sizeof(Level)));
    struct stat st;
    // The root folder is never emptied, whoever asks: not through a mount
    // of it, nor through a folder that a link or a bind mount made of it.
    const int error = !walk.levels             ? ENOMEM
                      : fstat(dirFd, &st) != 0 ? errno
                      : isRootFolder(st)       ? EBUSY
                                               : 0;
    if (error != 0) {
        close(dirFd);
        free(walk.levels);
        walk.levels = nullptr;
        leave(&walk, -1, error);
        return walk.result;
    }
    memset(&walk.levels[0], 0, sizeof(Level));
    walk.levels[0].fd = dirFd;
    walk.levels[0].dev = st.st_dev;
    walk.levels[0].ino = st.st_ino;
    readLevel(&walk, 0);
    for (;;) {
        const Level &level = walk.levels[walk.depth];
        if (level.next < level.size) {
            step(&walk);
        } else if (!climb(&walk)) {
            break;
        }
    }
    close(walk.levels[0].fd);
    free(walk.levels);
    return walk.result;
}
