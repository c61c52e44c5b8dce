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
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "bundle.h"
#include "calls.h"
#include "options.h"
#include "standard_output.h"
#include "state_file.h"

namespace {

const char kProgram[] = "velquar-capture";

// The calls and the state file, into the bundle when there is one; the
// exit status.
int record(const Options &options, FILE *out) {
    Platform platform{};
    if (!loadPlatform(platform)) {
        return 1;
    }
    // The folder is made once the calls are done, so that a capture cut
    // short while it waits leaves nothing behind; a path where it cannot be
    // made fails now, before the wait.
    Bundle bundle;
    if (options.bundlePath && !bundle.reserve(options.bundlePath)) {
        fprintf(stderr, "velquar-capture: cannot make %s: %s\n", options.bundlePath,
                strerror(errno));
        return 1;
    }
    fprintf(stderr,
            "velquar-capture: waiting for the platform (up to about 10 s until the television "
            "reports its input source)...\n");
    StateText state;
    Findings found;
    captureCalls(platform, state, found);
    if (options.bundlePath && !bundle.create()) {
        fprintf(stderr, "velquar-capture: cannot make %s: %s\n", options.bundlePath,
                bundle.replaced() ? "something else took the place of the folder made there; "
                                    "nothing written"
                                  : strerror(errno));
        bundle.remove();
        return 1;
    }
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
    if (!options.bundlePath) {
        fwrite(text.data(), 1, text.size(), out);
        return 0;
    }
    if (!writeNewFile(bundle.dir(), kStateName, text)) {
        fprintf(stderr, "velquar-capture: cannot write the state file: %s\n", strerror(errno));
        bundle.remove();
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    const int status = parseOptions(argc, argv, options);
    if (status >= 0) {
        return closeStandardOutput(stdout, kProgram) ? status : 1;
    }

    // Standard output carries the state file alone: whatever the platform's
    // libraries print, at load and unload included, goes to standard error.
    bool aside = false;
    FILE *out = setStandardOutputAside(aside);
    if (!aside || (!out && !options.bundlePath)) {
        fprintf(stderr, "velquar-capture: cannot set standard output aside: %s\n", strerror(errno));
        return 1;
    }
    const int rc = record(options, out);
    return !out || closeStandardOutput(out, kProgram) ? rc : 1;
}
