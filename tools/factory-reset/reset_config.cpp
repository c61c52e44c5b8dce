#include "reset_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

FolderList factoryResetFolders;
FolderList otaFolders;

namespace {

// Longer lines are skipped as they are read, never held whole.
const size_t kMaxLine = 1 << 20;

void takeLine(const std::string &line) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq + 1 == line.size()) {
        return;
    }
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "FactoryReset") {
        factoryResetFolders = splitFolders(value, ';');
    }
    if (key == "OTA") {
        otaFolders = splitFolders(value, ';');
    }
}

}  // namespace

void readResetConfig() {
    // Without blocking: a FIFO in its place must not stop the reset.
    const int fd = open("reset_config.ini", O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return;
    }
    std::string line;
    bool skipping = false;
    char chunk[65536];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
        for (const char *at = chunk, *end = chunk + n; at < end;) {
            const char *newline = static_cast<const char *>(memchr(at, '\n', end - at));
            const char *stop = newline ? newline : end;
            if (!skipping) {
                line.append(at, stop);
                if (line.size() > kMaxLine) {
                    skipping = true;
                    std::string().swap(line);
                }
            }
            if (newline) {
                if (!skipping) {
                    takeLine(line);
                }
                line.clear();
                skipping = false;
            }
            at = newline ? newline + 1 : end;
        }
    }
    if (!skipping && !line.empty()) {
        takeLine(line);
    }
    close(fd);
}

FolderList splitFolders(const std::string &value, char separator) {
    FolderList folders;
    std::string item;
    for (char c : value) {
        if (c != separator) {
            item += c;
        } else if (!item.empty()) {
            folders.push_back(item);
            item.clear();
        }
    }
    if (!item.empty()) {
        folders.push_back(item);
    }
    return folders;
}
