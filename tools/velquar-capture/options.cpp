#include "options.h"

#include <cstdio>

#include "bundle.h"
#include "calls.h"
#include "command_line.h"

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
            "  -h, --help    show this help\n"
            "  --version     show the version\n"
            "\n"
            "Without --bundle the state file goes to standard output.\n"
            "\n"
            "Exit status: 0 when every call was made, whatever it answered; 1 when\n"
            "a platform library cannot be loaded or the output not written; 2 for a\n"
            "bad command line.\n",
            kAppIpc, kMmPlayer, kStateName, kConfigName);
}

enum Option { kBundle = 256, kVersion };

}  // namespace

int parseOptions(int argc, char **argv, Options &options) {
    CommandLine line("velquar-capture", argc, argv,
                     {{"bundle", 0, "one folder", kBundle},
                      {"help", 'h', nullptr, 'h'},
                      {"version", 0, nullptr, kVersion}});
    for (int c; (c = line.next()) != -1;) {
        switch (c) {
            case 'h':
                usage(stdout);
                return 0;
            case kVersion:
                printf("velquar-capture %s\n", VELQUAR_VERSION);
                return 0;
            case kBundle:
                if (!options.bundlePath) {
                    options.bundlePath = line.argument();
                    break;
                }
                line.error("--bundle needs one folder");
                usage(stderr);
                return kUsageError;
            default:
                usage(stderr);
                return kUsageError;
        }
    }
    const std::vector<char *> operands = line.operands();
    if (!operands.empty()) {
        line.error("%s is not an option", operands.front());
        usage(stderr);
        return kUsageError;
    }
    return -1;
}
