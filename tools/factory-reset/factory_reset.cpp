// factory-reset: takes the reset type from the resource manager, empties the
// folders reset_config.ini lists for it and, on a factory reset, tells the
// trusted application through the TEE. Always exits 0.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apm.h"
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
    printf("[ERROR][ResetOrvane] deleteRecursive path isn't exist. (%s) \n", path.c_str());
}

void deleteEntry(int dirFd, const char *name, const std::string &path, int depth);

// Removes every entry of the open directory dirFd (named path), taking
// ownership of the descriptor.
void deleteContents(int dirFd, const std::string &path, int depth) {
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    while (const dirent *entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        // The type readdir reports is the entry's own, as a stat without
        // following links would give it: files and links go without a stat
        // or a path of their own. Folders, and entries of file systems that
        // report no type, take the full way.
        switch (entry->d_type) {
            case DT_REG:
            case DT_LNK:
                unlinkat(dirfd(dir), entry->d_name, 0);
                break;
            case DT_CHR:
            case DT_BLK:
            case DT_FIFO:
            case DT_SOCK:
                break;  // devices, FIFOs and sockets stay
            default:
                deleteEntry(dirfd(dir), entry->d_name, path + "/" + entry->d_name, depth + 1);
                break;
        }
    }
    closedir(dir);
}

// Entries below the listed path are looked at without following links, and
// every step goes through the parent's descriptor: a link is removed as the
// link it is, and nothing outside the listed tree is ever reached.
void deleteEntry(int dirFd, const char *name, const std::string &path, int depth) {
    const int noFollow = depth > 0 ? AT_SYMLINK_NOFOLLOW : 0;
    struct stat st;
    if (fstatat(dirFd, name, &st, noFollow) != 0) {
        reportMissing(path);
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        const int fd =
            openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (depth > 0 ? O_NOFOLLOW : 0));
        // A folder that cannot be opened keeps its contents.
        if (fd >= 0) {
            deleteContents(fd, path, depth);
        }
        if (depth > 0) {
            unlinkat(dirFd, name, AT_REMOVEDIR);
        }
    } else if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
        unlinkat(dirFd, name, 0);
    }
    // Devices, FIFOs and sockets stay.
}

// Empties path; removes it too when it is a regular file, or a folder below
// the listed one (depth > 0). The listed path itself may be a link.
void deleteRecursive(const std::string &path, int depth) {
    // No file has a NUL in its path: cut at the NUL, the path would name
    // another folder, such as a parent of the one listed.
    if (path.find('\0') != std::string::npos) {
        reportMissing(path);
        return;
    }
    deleteEntry(AT_FDCWD, path.c_str(), path, depth);
}

void clearFolders(const FolderList &list) {
    for (const std::string &path : list) {
        printf("[ResetOrvane] Clear folder: %s \n", path.c_str());
        deleteRecursive(path, 0);
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
