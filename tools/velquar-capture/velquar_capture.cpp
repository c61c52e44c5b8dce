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
// The jobs stand apart: the frame (tools/common/program.h) runs the
// program, calls.cpp makes the call sequence, state_file.cpp writes the
// state file's lines and bundle.cpp the bundle folder; the options are read
// at the bottom of this file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "bundle.h"
#include "calls.h"
#include "program.h"
#include "shell_records.h"
#include "state_file.h"

namespace {

struct Options {
    const char *bundlePath = nullptr;  // --bundle DIR; none: the state file to standard output
};

// The calls and the state file, into the bundle when there is one; the
// exit status.
int record(const Options &options, FILE *out) {
    if (!out && !options.bundlePath) {
        fprintf(stderr, "velquar-capture: cannot set standard output aside: %s\n", strerror(errno));
        return 1;
    }
    Platform platform{};
    {
        PlatformStep step("the load of the platform libraries");
        if (!loadPlatform(platform)) {
            return 1;
        }
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
    {
        PlatformStep step("the calls");
        captureCalls(platform, state, found);
    }
    recordOutsideReads(state);
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

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-capture [--bundle DIR]\n"
            "\n"
            "Asks the television's platform libraries (%s, %s)\n"
            "what the library asks them, once each and read-only, and writes a state\n"
            "file that the simulated television replays to the same answers, result\n"
            "codes included. One line per call goes to standard error.\n"
            "\n"
            "  --bundle DIR  make DIR (it must not exist) and write into it %s,\n"
            "                the application's configuration file as %s, and\n"
            "                copies of /config/sys.ini and the files it names\n"
            "                under DIR/root/ (velquar-sim --bundle replays it)\n"
            "  -h, --help    show this help\n"
            "  --version     show the version\n"
            "\n"
            "Without --bundle the state file goes to standard output. Either way it\n"
            "also holds the output of the library's shell command lines and the\n"
            "value of CURL_CA_BUNDLE_PATH.\n"
            "\n"
            "Exit status: 0 when every call was made, whatever it answered; 1 when\n"
            "a platform library cannot be loaded, ends the process or the output\n"
            "cannot be written; 2 for a bad command line.\n",
            kAppIpc, kMmPlayer, kStateName, kConfigName);
}

enum Option { kBundle = 256 };

}  // namespace

int main(int argc, char **argv) {
    const ProgramInfo program = {"velquar-capture", usage, {{"bundle", 0, "one folder", kBundle}}};
    Options options;
    return runProgram(
        program, argc, argv,
        [&](int, const char *value) {
            if (options.bundlePath) {
                return std::string("--bundle needs one folder");
            }
            options.bundlePath = value;
            return std::string();
        },
        [](const std::vector<char *> &operands) {
            return operands.empty() ? std::string()
                                    : std::string(operands.front()) + " is not an option";
        },
        [&](FILE *out) { return record(options, out); });
}
