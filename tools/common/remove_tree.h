// Removal of a whole tree below an open folder, shared by factory-reset and
// dravel.
//
// The walk climbs back with descriptors, not paths, and keeps no recursion:
// a tree of any depth is removed with a few descriptors open and memory that
// grows with the number of entries still to do, not with the square of the
// depth. A symbolic link is removed as the link it is and never followed, a
// failure leaves its entry and the walk goes on. Plain C library code, so
// that dravel links nothing but libc.
#ifndef VELQUAR_TOOLS_REMOVE_TREE_H
#define VELQUAR_TOOLS_REMOVE_TREE_H

// Devices, FIFOs and sockets stay where they are.
const unsigned kRemoveKeepSpecial = 1;

// Called with the path of an entry whose status cannot be read; the path is
// built only for the call.
typedef void (*RemoveReport)(const char *path, void *arg);

// Removes everything below the folder open as dirFd and closes dirFd. path
// names the folder in reports (children are path "/" name); report may be
// null.
void removeContents(int dirFd, const char *path, unsigned flags, RemoveReport report, void *arg);

// Removes the entry name of the folder dirFd whatever it is, a folder with
// all it holds, never following a link.
void removeEntry(int dirFd, const char *name, unsigned flags);

#endif
