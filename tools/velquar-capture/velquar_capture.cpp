// velquar-capture: records a television's platform answers as a state file
// that the simulated television replays.
//
// It loads the application IPC service and the media-player client by the
// names the library links them by, asks each getter once, read-only, the
// way the library asks (the input source as long as a context's creation
// would), and writes down every result code and what each call wrote:
// numbers as numbers, texts as texts where a state file can hold them, raw
// records as hex. A call that fails is data like any other.
//
// The jobs stand apart: options.cpp reads the command line, calls.cpp makes
// the call sequence, state_file.cpp writes the state file's lines and
// bundle.cpp the bundle folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "bundle.h"
#include "calls.h"
#include "options.h"
#include "state_file.h"

int main(int argc, char **argv) {
    Options options;
    const int status = parseOptions(argc, argv, options);
    if (status >= 0) {
        return status;
    }

    // Standard output carries the state file alone: whatever the platform's
    // libraries print goes to standard error.
    const int out = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if ((out < 0 && !options.bundlePath) || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        fprintf(stderr, "velquar-capture: cannot set standard output aside: %s\n", strerror(errno));
        return 1;
    }
    Platform platform{};
    if (!loadPlatform(platform)) {
        return 1;
    }
    Bundle bundle;
    if (options.bundlePath && !bundle.create(options.bundlePath)) {
        fprintf(stderr, "velquar-capture: cannot make %s: %s\n", options.bundlePath,
                strerror(errno));
        return 1;
    }
    StateText state;
    Findings found;
    captureCalls(platform, state, found);
    // In a bundle the configuration path names the copy beside the state
    // file, which the stand-in finds there.
    if (options.bundlePath && fillBundle(bundle, found)) {
        state.comment("The application's configuration file, " + found.configPath +
                      " on the television:");
        state.key("config_path", kConfigName);
    } else {
        state.text("config_path", found.configResult, found.configBuffer.data(),
                   found.configBuffer.size(), true);
        state.result("config_path", found.configResult);
    }
    const std::string text = stateHeader(found.firmwareVersion) + state.str();
    const bool written =
        options.bundlePath ? writeNewFile(bundle.dir(), kStateName, text) : writeAll(out, text);
    if (!written) {
        fprintf(stderr, "velquar-capture: cannot write the state file: %s\n", strerror(errno));
        return 1;
    }
    return 0;
}
