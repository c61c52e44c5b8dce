// Preloaded into velquar-capture: plays the local user who swaps something
// of their own in for the bundle folder between its mkdir and its use. The
// first folder the program makes is renamed to NAME.made at once, and in
// its place VELQUAR_SWAP_TO puts
//   user-folder  an empty folder of user 65534, mode 0700;
//   link         a link to such a folder (NAME.target);
//   root-folder  a folder of the running user, mode 0700, holding a file.
// The test runs as root.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const uid_t kOtherUser = 65534;

bool g_swapped = false;

}  // namespace

extern "C" int mkdirat(int dir, const char *name, mode_t mode) {
    using MkdirAt = int (*)(int, const char *, mode_t);
    static const MkdirAt real = reinterpret_cast<MkdirAt>(dlsym(RTLD_NEXT, "mkdirat"));
    const int made = real(dir, name, mode);
    const char *to = getenv("VELQUAR_SWAP_TO");
    if (made != 0 || g_swapped || !to) {
        return made;
    }
    g_swapped = true;
    const std::string put = name;
    renameat(dir, name, dir, (put + ".made").c_str());
    if (strcmp(to, "link") == 0) {
        const std::string target = put + ".target";
        real(dir, target.c_str(), 0700);
        fchownat(dir, target.c_str(), kOtherUser, kOtherUser, 0);
        symlinkat(target.c_str(), dir, name);
    } else {
        real(dir, name, 0700);
        if (strcmp(to, "root-folder") == 0) {
            const std::string file = put + "/kept";
            close(openat(dir, file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        } else {
            fchownat(dir, name, kOtherUser, kOtherUser, 0);
        }
    }
    return made;
}
