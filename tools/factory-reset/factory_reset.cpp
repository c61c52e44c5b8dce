// factory-reset: takes the reset type from the resource manager, empties the
// folders reset_config.ini lists for it and, on a factory reset, tells the
// trusted application through the TEE. Exits 1 when reset_config.ini is
// refused or an entry it set out to remove is still there, else 0.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apm.h"
#include "printable.h"
#include "remove_tree.h"
#include "reset_config.h"
#include "safe_path.h"
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

// Set when an entry that the reset set out to remove is still there.
bool somethingLeft = false;

void reportLeft(const char *path, int error) {
    somethingLeft = true;
    fprintf(stderr, "[ERROR][ResetOrvane] not removed: %s (%s)\n", printable(path).c_str(),
            strerror(error));
}

void onMissing(const char *path, int, void *) {
    reportMissing(path);
}

void onLeft(const char *path, int error, void *) {
    reportLeft(path, error);
}

// Deletes the listed regular file: its name in its folder, which is a link
// when the listed path is one (its target stays).
void deleteListedFile(const std::string &path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = openSafePath(folder.c_str(), 0);
    if (fd < 0 ||
        (unlinkat(fd, path.c_str() + (slash == std::string::npos ? 0 : slash + 1), 0) != 0 &&
         errno != ENOENT)) {
        reportLeft(path.c_str(), errno);
    }
    if (fd >= 0) {
        close(fd);
    }
}

// Empties the listed folder, or deletes the listed regular file; anything
// else stays. Only a path that leads nowhere is "missing": a folder that is
// there but cannot be opened or read keeps what it holds, and says why. The
// walk never empties the root folder.
void deleteRecursive(const std::string &path) {
    // No file has a NUL in its path: cut at the NUL, the path would name
    // another folder, such as a parent of the one listed.
    if (path.find('\0') != std::string::npos) {
        reportMissing(path);
        return;
    }
    const int fd = openSafePath(path.c_str(), 0);
    struct stat st;
    int error = fd < 0 || fstat(fd, &st) != 0 ? errno : 0;
    if (error == 0 && path.back() == '/' && !S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
    }
    if (error != 0) {
        if (fd >= 0) {
            close(fd);
        }
        if (error == ENOENT || error == ENOTDIR) {
            reportMissing(path);
        } else {
            reportLeft(path.c_str(), error);
        }
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        const int dir = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        error = errno;
        close(fd);
        if (dir < 0) {
            reportLeft(path.c_str(), error);
            return;
        }
        RemoveOptions options;
        options.flags = kRemoveKeepSpecial;
        options.missing = onMissing;
        options.left = onLeft;
        removeContents(dir, path.c_str(), options);
        return;
    }
    close(fd);
    if (S_ISREG(st.st_mode)) {
        deleteListedFile(path);
    }
}

void clearFolders(const FolderList &list) {
    for (const std::string &path : list) {
        printf("[ResetOrvane] Clear folder: %s \n", printable(path).c_str());
        // The lines on standard error come after the folder's own.
        fflush(stdout);
        deleteRecursive(path);
    }
}

// Opened once per run, on a factory reset, and closed again at once.
bool openTeeSession() {
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

// What is wrong with reset_config.ini, on standard error; true when the
// file is refused, which fails the run.
bool reportConfig(ConfigStatus status) {
    const char *const name = "[ERROR][ResetOrvane] reset_config.ini";
    switch (status) {
        case ConfigStatus::Read:
            return false;
        case ConfigStatus::Unreadable:
            fprintf(stderr, "%s cannot be read (%s): no folder is listed\n", name, strerror(errno));
            return false;
        case ConfigStatus::NotRegular:
            fprintf(stderr, "%s is not a regular file: no folder is listed\n", name);
            return false;
        case ConfigStatus::ForeignOwner:
            fprintf(stderr,
                    "%s refused: owned by neither root nor the user running factory-reset\n", name);
            return true;
        case ConfigStatus::OthersMayWrite:
            fprintf(stderr, "%s refused: users other than root may write it\n", name);
            return true;
        case ConfigStatus::LinkRefused:
            fprintf(stderr, "%s refused: reached through a link another user may have put there\n",
                    name);
            return true;
        case ConfigStatus::TooLarge:
            fprintf(stderr, "%s refused: larger than %zu bytes\n", name, kMaxResetConfigSize);
            return true;
    }
    return true;
}

}  // namespace

int main() {
    APM_Join(&ApmCallbacks);
    APM_IsResourceOwner();
    const bool refused = reportConfig(readResetConfig());

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
    return refused || somethingLeft ? 1 : 0;
}
