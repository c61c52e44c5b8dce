// The process's root folder, found one way for every tool: through
// /proc/self/root where /proc is mounted, the same folder to the kernel, and
// one that an emulator mapping "/" to a library prefix (qemu-user -L) leaves
// alone; "/" otherwise. Plain C library code, header only, so that every
// program compiling the removal walk in has it without another source.
#ifndef VELQUAR_TOOLS_ROOT_FOLDER_H
#define VELQUAR_TOOLS_ROOT_FOLDER_H

#include <fcntl.h>
#include <sys/stat.h>

const char kProcRoot[] = "/proc/self/root";

// The root folder, as O_PATH; -1 with errno set when neither way opens it.
inline int openRootFolder() {
    const int fd = open(kProcRoot, O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 ? fd : open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Whether st is the status of the root folder. Takes no descriptor, so it
// holds under any descriptor limit; when the root's status cannot be read
// at all, every folder is taken for it (nothing is emptied).
inline bool isRootFolder(const struct stat &st) {
    struct stat root;
    if (stat(kProcRoot, &root) != 0 && stat("/", &root) != 0) {
        return true;
    }
    return root.st_dev == st.st_dev && root.st_ino == st.st_ino;
}

#endif
