// velquar-replay BUNDLE PROGRAM [ARGS...]: velquar-sim --bundle runs it
// with the stand-ins on the library path. It reads the bundle, enters the
// replay's view (replay_root.h) and replaces itself with PROGRAM, so that
// the program's process id, exit status and signals are its own. It runs
// nothing unless the whole replay could be set up.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "replay_bundle.h"
#include "replay_root.h"
#include "shell_lines.h"

using namespace velquar_replay;

namespace {

const char kMe[] = "velquar-sim";

// The shell stand-in installed beside this program.
std::string shimPath() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "velquar-replay-shell";
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: velquar-replay BUNDLE PROGRAM [ARGS...] (run by %s --bundle)\n",
                kMe);
        return 2;
    }
    ReplayBundle bundle;
    std::string why = readBundle(argv[1], bundle);
    if (!why.empty()) {
        fprintf(stderr, "%s: --bundle %s: cannot replay this bundle: %s\n", kMe, argv[1],
                why.c_str());
        return 1;
    }
    const std::string shim = shimPath();
    why = shim.empty() ? "cannot find velquar-replay-shell" : enterReplayRoot(bundle, shim);
    if (!why.empty()) {
        fprintf(stderr, "%s: --bundle: a complete replay is not possible here: %s\n", kMe,
                why.c_str());
        return 1;
    }
    const bool envOk = setenv("VELQUAR_SIM_STATE", kReplayState, 1) == 0 &&
                       (bundle.records.curlSet ? setenv(velquar::kCABundleVariable,
                                                        bundle.records.curlValue.c_str(), 1)
                                               : unsetenv(velquar::kCABundleVariable)) == 0;
    if (!envOk) {
        fprintf(stderr, "%s: --bundle: cannot set the environment: %s\n", kMe, strerror(errno));
        return 1;
    }
    execvp(argv[2], argv + 2);
    const int error = errno;
    fprintf(stderr, "%s: %s: %s\n", kMe, argv[2], strerror(error));
    return error == ENOENT ? 127 : 126;
}
