// Removal of a whole tree below an open folder, shared by factory-reset and
// dravel.
//
// The walk climbs back with descriptors, not paths, and keeps no recursion:
// a tree of any depth is removed with a few descriptors open and memory that
// grows with the number of entries still to do, not with the square of the
// depth. When descriptors run short it holds fewer folders open; when the
// names of a folder do not fit in memory it removes those it read and reads
// the folder again. A symbolic link is removed as the link it is and never
// followed, the root folder is never entered, and a failure leaves its entry
// while the walk goes on: what stays is reported, never dropped in silence.
// Plain C library code, so that dravel links nothing but libc.
#ifndef VELQUAR_TOOLS_REMOVE_TREE_H
#define VELQUAR_TOOLS_REMOVE_TREE_H

#include <cstddef>

// Devices, FIFOs and sockets stay where they are, and are no failure.
const unsigned kRemoveKeepSpecial = 1;

// Called with the path of an entry (built only for the call; the bare name
// when memory for the whole path is lacking) and the errno that explains it.
typedef void (*RemoveReport)(const char *path, int error, void *arg);

struct RemoveOptions {
    unsigned flags = 0;
    // An entry whose status cannot be read (it may have gone meanwhile).
    RemoveReport missing = nullptr;
    // An entry that the walk set out to remove and that is still there.
    // Each entry once, also when its folder is read again.
    RemoveReport left = nullptr;
    void *arg = nullptr;
    // Grows the walk's buffers and makes its report texts as realloc does;
    // realloc when null.
    void *(*grow)(void *block, size_t size) = nullptr;
};

struct RemoveResult {
    int error = 0;           // errno of the first entry left, 0 when none
    unsigned long left = 0;  // entries left, each reported once to left
};

// Removes everything below the folder open as dirFd and closes dirFd. path
// names the folder in reports (children are path "/" name). The root folder
// is refused whole (one entry left, path, EBUSY); a folder that cannot be
// read to its end stays, reported with the read's errno.
RemoveResult removeContents(int dirFd, const char *path, const RemoveOptions &options);

#endif
