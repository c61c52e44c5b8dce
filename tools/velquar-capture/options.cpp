#include "options.h"

#include <cstdio>
#include <string>

#include "bundle.h"
#include "calls.h"

namespace {

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
            "                copies of /config/sys.ini, the files it names and\n"
            "                /proc/net/wireless under DIR/root/\n"
            "  --help        show this help\n"
            "\n"
            "Without --bundle the state file goes to standard output.\n"
            "\n"
            "Exit status: 0 when every call was made, whatever it answered; 1 when\n"
            "a platform library cannot be loaded or the output not written; 2 for a\n"
            "bad option.\n",
            kAppIpc, kMmPlayer, kStateName, kConfigName);
}

}  // namespace

int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--bundle" && i + 1 < argc && !options.bundlePath) {
            options.bundlePath = argv[++i];
        } else {
            fprintf(stderr, "velquar-capture: %s %s\n", arg.c_str(),
                    arg == "--bundle" ? "needs one folder" : "is not an option");
            usage(stderr);
            return 2;
        }
    }
    return -1;
}
