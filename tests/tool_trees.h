// Trees for the tests of the removal walk and of dravel and factory-reset.
#ifndef VELQUAR_TESTS_TOOL_TREES_H
#define VELQUAR_TESTS_TOOL_TREES_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace velquar_test {

// Makes each path below dir with its folders: a folder where the path ends
// in '/', a FIFO where it ends in '|', a link to T where it reads "PATH@T",
// else a file that holds "data".
inline void makeTree(const std::filesystem::path &dir, const std::vector<std::string> &paths) {
    for (const std::string &p : paths) {
        const size_t at = p.find('@');
        const std::filesystem::path path = dir / p.substr(0, std::min(at, p.find('|')));
        std::filesystem::create_directories(path.parent_path());
        if (at != std::string::npos) {
            std::filesystem::create_symlink(p.substr(at + 1), path);
        } else if (p.back() == '|') {
            ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << path;
        } else if (p.back() != '/') {
            std::ofstream(path) << "data";
        }
    }
}

// The words of text, split at blanks.
inline std::vector<std::string> words(const std::string &text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Every path below dir but skip, sorted, with a mark for its kind: '/'
// folder, '@' link, '|' FIFO, '=' socket, '%' device.
inline std::vector<std::string> listTree(const std::filesystem::path &dir,
                                         const std::string &skip = "") {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    for (const auto &e : fs::recursive_directory_iterator(dir)) {
        const std::string name = e.path().lexically_relative(dir).string();
        const fs::file_status st = e.symlink_status();
        const char *mark = fs::is_symlink(st)        ? "@"
                           : fs::is_directory(st)    ? "/"
                           : fs::is_fifo(st)         ? "|"
                           : fs::is_socket(st)       ? "="
                           : fs::is_regular_file(st) ? ""
                                                     : "%";
        if (name != skip) {
            found.push_back(name + mark);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A chain of depth folders "d" below dir (made when missing), a file at its
// end; the folders go to owner when one is given.
inline void chain(const std::filesystem::path &dir, int depth, uid_t owner = ~0u) {
    std::filesystem::create_directories(dir);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
        const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (owner != ~0u) {
            ASSERT_EQ(fchown(next, owner, owner), 0);
        }
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    close(openat(fd, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    close(fd);
}

// Sets the attribute flags (FS_*_FL) of the file at path, made where missing;
// false where the file system has none.
inline bool setAttributes(const std::filesystem::path &path, int flags) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::app) << "";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool done = fd >= 0 && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return done;
}

// Gives path an access ACL granting perm to ACL_USER or ACL_GROUP id under the
// mask; the owner gets rwx, owning group and others what the mode gives them.
inline void setAcl(const std::string &path, uint16_t tag, uint32_t id, uint16_t perm,
                   uint16_t mask = 7) {
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    const uint32_t none = static_cast<uint32_t>(ACL_UNDEFINED_ID);
    const uint16_t group = (st.st_mode >> 3) & 7;
    const posix_acl_xattr_entry entries[] = {
        {ACL_USER_OBJ, 7, none},
        tag == ACL_USER ? posix_acl_xattr_entry{tag, perm, id}
                        : posix_acl_xattr_entry{ACL_GROUP_OBJ, group, none},
        tag == ACL_USER ? posix_acl_xattr_entry{ACL_GROUP_OBJ, group, none}
                        : posix_acl_xattr_entry{tag, perm, id},
        {ACL_MASK, mask, none},
        {ACL_OTHER, uint16_t(st.st_mode & 7), none}};
    std::string value(sizeof(posix_acl_xattr_header), '\0');
    const uint32_t version = POSIX_ACL_XATTR_VERSION;
    memcpy(&value[0], &version, sizeof version);
    value.append(reinterpret_cast<const char *>(entries), sizeof entries);
    ASSERT_EQ(setxattr(path.c_str(), "system.posix_acl_access", value.data(), value.size(), 0), 0)
        << path << ": " << strerror(errno);
}

// Mounts at dir/root a writable overlay over "/" whose changes go to dir,
// with /proc for the sanitizers. False, nothing mounted, without overlays.
inline bool overlayRoot(const std::string &dir) {
    for (const char *sub : {"/up", "/work", "/root"}) {
        std::filesystem::create_directories(dir + sub);
    }
    const std::string options = "lowerdir=/,upperdir=" + dir + "/up,workdir=" + dir + "/work";
    if (mount("overlay", (dir + "/root").c_str(), "overlay", 0, options.c_str()) != 0) {
        return false;
    }
    EXPECT_EQ(mount("proc", (dir + "/root/proc").c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                    nullptr),
              0);
    return true;
}

}  // namespace velquar_test

#endif
