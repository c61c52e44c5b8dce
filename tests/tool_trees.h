// Trees for the tests of the removal walk and of the two root tools: a deep
// chain of folders, and a POSIX access ACL set as the kernel stores it.
#ifndef VELQUAR_TESTS_TOOL_TREES_H
#define VELQUAR_TESTS_TOOL_TREES_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace velquar_test {

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

struct AclEntry {
    uint16_t tag;  // ACL_USER, ACL_GROUP, ACL_MASK
    uint16_t perm;
    uint32_t id;
};

// Gives path an access ACL: its mode's owner, group and other entries, the
// named ones given, and a mask (rwx unless given among them).
inline void setAcl(const std::string &path, std::vector<AclEntry> named) {
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    const uint32_t none = static_cast<uint32_t>(ACL_UNDEFINED_ID);
    std::vector<AclEntry> all = {{ACL_USER_OBJ, uint16_t((st.st_mode >> 6) & 7), none}};
    bool masked = false;
    for (const AclEntry &e : named) {
        masked = masked || e.tag == ACL_MASK;
        if (e.tag != ACL_MASK) {
            all.push_back(e);
        }
    }
    all.push_back({ACL_GROUP_OBJ, uint16_t((st.st_mode >> 3) & 7), none});
    for (const AclEntry &e : named) {
        if (e.tag == ACL_MASK) {
            all.push_back({ACL_MASK, e.perm, none});
        }
    }
    if (!masked) {
        all.push_back({ACL_MASK, 7, none});
    }
    all.push_back({ACL_OTHER, uint16_t(st.st_mode & 7), none});
    // Entries sorted by tag, then id, as the kernel wants them.
    std::stable_sort(all.begin(), all.end(),
                     [](const AclEntry &a, const AclEntry &b) { return a.tag < b.tag; });
    std::string value(sizeof(posix_acl_xattr_header), '\0');
    const uint32_t version = POSIX_ACL_XATTR_VERSION;
    memcpy(&value[0], &version, sizeof version);
    for (const AclEntry &e : all) {
        const posix_acl_xattr_entry entry = {e.tag, e.perm, e.id};
        value.append(reinterpret_cast<const char *>(&entry), sizeof entry);
    }
    ASSERT_EQ(setxattr(path.c_str(), "system.posix_acl_access", value.data(), value.size(), 0), 0)
        << path << ": " << strerror(errno);
}

}  // namespace velquar_test

#endif
