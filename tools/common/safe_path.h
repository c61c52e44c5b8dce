// Opening a path given by a configuration or a command line as root, one
// component at a time, so that no local user steers it with a symbolic link.
//
// A link is followed only when the link itself belongs to root or to the
// user running the tool, or sits in a folder that no other user may write
// (see othersMayWrite). A link in a folder of another user's is followed
// only to something of that user's. This is the rule the kernel applies to
// links in sticky world-writable folders, extended to every folder others
// may write, and to their owners' links leading out of them. Plain C
// library code, for dravel.
#ifndef VELQUAR_TOOLS_SAFE_PATH_H
#define VELQUAR_TOOLS_SAFE_PATH_H

#include <sys/stat.h>

#include "root_folder.h"

// Missing folders on the way are made, mode 0755 whatever the umask.
const unsigned kSafePathMake = 1;
// What the path names is opened for reading (without blocking, never as a
// controlling terminal) rather than as O_PATH.
const unsigned kSafePathRead = 2;

// Opens what path leads to as O_PATH (or as kSafePathRead asks), relative to the working folder or,
// when it starts with '/', to the root. -1 with errno set when it leads
// nowhere; EPERM when a link on the way is refused.
int openSafePath(const char *path, unsigned flags);

// Whether a user or group other than root (or the user running the tool)
// may write the file open as fd, whose status is st: by its mode (others,
// or a group not root's) or by a POSIX access ACL entry that the ACL's mask
// lets through. An ACL that cannot be read or understood counts as yes.
bool othersMayWrite(int fd, const struct stat &st);

#endif
