// Opening a path given by a configuration or a command line as root, one
// component at a time, so that no local user steers it with a symbolic link.
//
// A link is followed only when the link itself belongs to root or to the
// user running the tool, or sits in a folder that no other user may write
// (not world writable, and group writable only for root's group). A link in
// a folder of another user's is followed only to something of that user's.
// This is the rule the kernel applies to links in sticky world-writable
// folders, extended to every folder others may write, and to their owners'
// links leading out of them. Plain C library code, for dravel.
#ifndef VELQUAR_TOOLS_SAFE_PATH_H
#define VELQUAR_TOOLS_SAFE_PATH_H

// Missing folders on the way are made, mode 0755 whatever the umask.
const unsigned kSafePathMake = 1;

// Opens what path leads to as O_PATH, relative to the working folder or,
// when it starts with '/', to the root. -1 with errno set when it leads
// nowhere; EPERM when a link on the way is refused.
int openSafePath(const char *path, unsigned flags);

// The process's root folder, as O_PATH. Through /proc where it is mounted:
// the same folder to the kernel, and one that an emulator mapping "/" to a
// library prefix (qemu-user -L) leaves alone.
int openRootFolder();

#endif
