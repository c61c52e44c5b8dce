// factory-reset: takes the reset type from the resource manager, empties the
// folders reset_config.ini lists for it and, on a factory reset, tells the
// trusted application through the TEE. Always exits 0.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apm.h"
#include "printable.h"
#include "remove_tree.h"
#include "reset_config.h"
#include "tee_client_api.h"

namespace {

// Set by onApmMessage, possibly on the resource manager's own thread; the
// main sequence takes it once.
std::atomic<char *> resetType{nullptr};

const char kTeeName[] = "opteearmtz00";
const TEEC_UUID kResetTaUuid = {
    0xB03123E1, 0x1018, 0x4AA7, {0x9D, 0x3D, 0x04, 0x43, 0x45, 0xB7, 0xF5, 0x8F}};
const uint32_t kResetCommand = 35;

TEEC_Context teeContext;
TEEC_Session teeSession;
bool teeSessionOpen = false;  // true exactly while context and session are set up

}  // namespace

extern "C" {

static int32_t onApmNotice(void) {
    return 0;
}

static int32_t onApmValue(int32_t) {
    return 0;
}

static int32_t onApmMessage(int32_t code, const char *text) {
    if (code != 4 || !text) {
        return 0;
    }
    // A later delivery replaces an earlier one; without memory the
    // delivery is lost rather than the process.
    char *copy = strdup(text);
    if (copy) {
        free(resetType.exchange(copy));
    }
    return 0;
}

}  // extern "C"

namespace {

APM_CALLBACKS ApmCallbacks = {onApmNotice, onApmNotice, onApmNotice,
                              onApmValue,  onApmValue,  onApmMessage};

void reportMissing(const std::string &path) {
    printf("[ERROR][ResetOrvane] deleteRecursive path isn't exist. (%s) \n",
           printable(path).c_str());
}

void reportEntry(const char *path, void *) {
    reportMissing(path);
}

// Symbolic links followed in one listed path at most, as the kernel allows.
const int kMaxLinks = 40;

// The process's root folder. Through /proc where it is mounted: the same
// folder to the kernel, and one that an emulator mapping "/" to a library
// prefix (qemu-user -L, which runs the ARM build here) leaves alone.
int openRoot() {
    const int fd = open("/proc/self/root", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 ? fd : open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Opens, as O_PATH, what path leads to from the folder dirFd (taken over),
// one component at a time. A symbolic link in a folder that root does not
// own is followed only to something of that folder's owner: otherwise a user
// who owns a parent of a listed folder could have root empty any folder.
// -1 when the path leads nowhere, or nowhere safe.
int resolve(int dirFd, const char *path, int *links) {
    int fd = dirFd;
    if (path[0] == '/') {
        close(fd);
        fd = openRoot();
    }
    for (const char *at = path; fd >= 0 && *at;) {
        const char *end = strchrnul(at, '/');
        const std::string name(at, static_cast<size_t>(end - at));
        at = *end ? end + 1 : end;
        if (name.empty() || name == ".") {
            continue;
        }
        const int next = openat(fd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (next < 0 || fstat(next, &st) != 0) {
            if (next >= 0) {
                close(next);
            }
            close(fd);
            return -1;
        }
        if (!S_ISLNK(st.st_mode)) {
            close(fd);
            fd = next;
            continue;
        }
        struct stat folder;
        char target[PATH_MAX];
        const ssize_t length = readlinkat(next, "", target, sizeof target - 1);
        close(next);
        if (length <= 0 || ++*links > kMaxLinks || fstat(fd, &folder) != 0) {
            close(fd);
            return -1;
        }
        target[length] = '\0';
        fd = resolve(fd, target, links);
        if (fd >= 0 && folder.st_uid != 0 && (fstat(fd, &st) != 0 || st.st_uid != folder.st_uid)) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

int resolve(const std::string &path) {
    int links = 0;
    const int start = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return start < 0 ? -1 : resolve(start, path.c_str(), &links);
}

// Deletes the listed regular file: its name in its folder, which is a link
// when the listed path is one (its target stays).
void deleteListedFile(const std::string &path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = resolve(folder);
    if (fd >= 0) {
        unlinkat(fd, path.c_str() + (slash == std::string::npos ? 0 : slash + 1), 0);
        close(fd);
    }
}

// Empties the listed folder, or deletes the listed regular file; anything
// else stays. The root folder is never emptied.
void deleteRecursive(const std::string &path) {
    // No file has a NUL in its path: cut at the NUL, the path would name
    // another folder, such as a parent of the one listed.
    const int fd = path.find('\0') == std::string::npos ? resolve(path) : -1;
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || (path.back() == '/' && !S_ISDIR(st.st_mode))) {
        if (fd >= 0) {
            close(fd);
        }
        reportMissing(path);
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        const int rootFd = openRoot();
        struct stat root;
        const bool isRoot = rootFd < 0 || fstat(rootFd, &root) != 0 ||
                            (root.st_dev == st.st_dev && root.st_ino == st.st_ino);
        if (rootFd >= 0) {
            close(rootFd);
        }
        // A folder that cannot be opened keeps its contents.
        const int dir = isRoot ? -1 : openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            removeContents(dir, path.c_str(), kRemoveKeepSpecial, reportEntry, nullptr);
        }
    } else if (S_ISREG(st.st_mode)) {
        deleteListedFile(path);
    }
    close(fd);
}

void clearFolders(const FolderList &list) {
    for (const std::string &path : list) {
        printf("[ResetOrvane] Clear folder: %s \n", printable(path).c_str());
        deleteRecursive(path);
    }
}

bool openTeeSession() {
    if (teeSessionOpen) {
        return true;
    }
    printf("[ResetOrvane] TEE init context with device [%s]\n", kTeeName);
    if (TEEC_InitializeContext(kTeeName, &teeContext) != TEEC_SUCCESS) {
        puts("[ERROR][ResetOrvane] TEEC_InitializeContext() Failed");
        return false;
    }
    uint32_t returnOrigin = 0;
    if (TEEC_OpenSession(&teeContext, &teeSession, &kResetTaUuid, TEEC_LOGIN_PUBLIC, nullptr,
                         nullptr, &returnOrigin) != TEEC_SUCCESS) {
        puts("[ERROR][ResetOrvane] TEEC_OpenSession() Failed");
        // The context is of no further use; give it back to the TEE.
        TEEC_FinalizeContext(&teeContext);
        return false;
    }
    teeSessionOpen = true;
    return true;
}

void closeTeeSession() {
    if (!teeSessionOpen) {
        return;
    }
    TEEC_CloseSession(&teeSession);
    TEEC_FinalizeContext(&teeContext);
    teeSessionOpen = false;
}

void sendTeeResetCommand() {
    TEEC_Operation operation;
    memset(&operation, 0, sizeof operation);
    uint32_t returnOrigin = 0;
    if (!openTeeSession()) {
        puts("[ERROR][ResetOrvane] Failed to open TEE session");
        return;
    }
    if (TEEC_InvokeCommand(&teeSession, kResetCommand, &operation, &returnOrigin) != TEEC_SUCCESS) {
        puts("[ERROR][ResetOrvane] TEEC_InvokeCommand() Failed");
    }
    closeTeeSession();
}

}  // namespace

int main() {
    APM_Join(&ApmCallbacks);
    APM_IsResourceOwner();
    readResetConfig();

    // Looked at once: a delivery after this point has no effect.
    if (char *type = resetType.exchange(nullptr)) {
        printf("[ResetOrvane] Reset Type = %s \n", type);
        if (strcmp(type, "OTA") == 0) {
            clearFolders(otaFolders);
        } else if (strcmp(type, "FactoryReset") == 0) {
            clearFolders(factoryResetFolders);
            sendTeeResetCommand();
        }
        free(type);
    }

    APM_Leave();
    free(resetType.exchange(nullptr));  // a late delivery
    return 0;
}
