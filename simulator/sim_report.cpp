// Reports of what the stand-ins cannot use: each once per process, however
// many stand-ins read the state.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include "../platform/shared/file_io.h"
#include "sim_state_parts.h"

namespace velquar_sim {
namespace {

// Every report made so far: each is made once per process.
std::set<std::string> g_reported;

// Every stand-in carries a copy of this file; the first of them in this
// order that the process has loaded speaks for all, so that each report
// comes once per process however many stand-ins read the state.
bool speaksForProcess() {
    static const char *const order[] = {"libAppIpc.so", "libtevrin_mmplayer_ipc.so", "libAPM.so",
                                        "libteec.so"};
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&speaksForProcess), &info) || !info.dli_fname) {
        return true;
    }
    std::string own = info.dli_fname;
    own = own.substr(own.rfind('/') + 1);
    for (const char *name : order) {
        if (own == name) {
            return true;
        }
        if (void *other = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
            dlclose(other);
            return false;
        }
    }
    return true;
}

}  // namespace

std::string shown(const std::string &text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void report(const std::vector<std::string> &problems) {
    bool speaks = false;
    bool asked = false;
    for (const std::string &problem : problems) {
        if (g_reported.count(problem)) {
            continue;
        }
        if (!asked) {
            speaks = speaksForProcess();
            asked = true;
        }
        if (!speaks) {
            return;
        }
        g_reported.insert(problem);
        const std::string line = "velquar simulator: " + problem + "\n";
        velquar::writeAll(STDERR_FILENO, line.data(), line.size());
    }
}

}  // namespace velquar_sim
