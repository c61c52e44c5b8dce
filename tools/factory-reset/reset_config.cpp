#include "reset_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_io.h"
#include "safe_path.h"

FolderList factoryResetFolders;
FolderList otaFolders;

namespace {

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

ConfigStatus check(int fd, struct stat *st) {
    if (fstat(fd, st) != 0) {
        return ConfigStatus::Unreadable;
    }
    if (!S_ISREG(st->st_mode)) {
        return ConfigStatus::NotRegular;
    }
    if (st->st_uid != 0 && st->st_uid != geteuid()) {
        return ConfigStatus::ForeignOwner;
    }
    if (othersMayWrite(fd, *st)) {
        return ConfigStatus::OthersMayWrite;
    }
    return st->st_size > static_cast<off_t>(kMaxResetConfigSize) ? ConfigStatus::TooLarge
                                                                 : ConfigStatus::Read;
}

}  // namespace

ConfigStatus readResetConfig() {
    // Without blocking: a FIFO in its place must not stop the reset. A link
    // is followed only where a user could not have put it, or to a file of
    // that user's, which the owner check then refuses.
    const int fd = openSafePath("reset_config.ini", kSafePathRead);
    if (fd < 0) {
        return errno == EPERM ? ConfigStatus::LinkRefused : ConfigStatus::Unreadable;
    }
    struct stat st;
    const ConfigStatus status = check(fd, &st);
    if (status != ConfigStatus::Read) {
        close(fd);
        return status;
    }
    // The size the inode gives may be wrong: never more than a byte past the
    // bound is read, and a file that holds more is refused whole (cut short, its last
    // path could name a parent of the folder meant).
    std::string text;
    const velquar::ReadEnd end = velquar::readText(fd, kMaxResetConfigSize, text);
    close(fd);
    if (end != velquar::ReadEnd::Whole) {
        return end == velquar::ReadEnd::TooLarge ? ConfigStatus::TooLarge
                                                 : ConfigStatus::Unreadable;
    }
    for (size_t at = 0; at < text.size();) {
        const size_t newline = text.find('\n', at);
        const size_t stop = newline == std::string::npos ? text.size() : newline;
        takeLine(text.substr(at, stop - at));
        at = stop + 1;
    }
    return ConfigStatus::Read;
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
