#include "options.h"

#include <cstdio>
#include <string>

const char *const kDefaultLibrary = "libcom.orvane.velquar.platform.so";

namespace {

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-props [--json] [--library PATH] [NAME...]\n"
            "       velquar-props --value NAME [--library PATH]\n"
            "\n"
            "Creates a device properties context and prints, for every property of\n"
            "the catalogue or for each NAME given, its type, the result code and the\n"
            "value. The library's own diagnostic lines appear on standard output\n"
            "between the rows as it prints them.\n"
            "\n"
            "  --json          print the readings as one JSON document, the library's\n"
            "                  lines inside it; nothing else on standard output\n"
            "  --value NAME    print only the value of NAME and a line end; the\n"
            "                  library's lines go to standard error\n"
            "  --library PATH  load this library instead of %s\n"
            "  --help          show this help\n"
            "\n"
            "Exit status: 0 once a context was created, whatever the properties\n"
            "answered (with --value: once the read succeeded); 1 when the library\n"
            "cannot be loaded or the context not created; 2 for a bad option;\n"
            "with --value, 3 when the read failed and 4 for an unknown property.\n",
            kDefaultLibrary);
}

}  // namespace

int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--library" || arg == "--value") {
            if (++i == argc) {
                fprintf(stderr, "velquar-props: %s needs %s\n", arg.c_str(),
                        arg == "--library" ? "a path" : "a property name");
                return 2;
            }
            (arg == "--library" ? options.library : options.valueName) = argv[i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "velquar-props: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        } else {
            options.names.push_back(argv[i]);
        }
    }
    if (options.valueName && (options.json || !options.names.empty())) {
        fprintf(stderr, "velquar-props: --value reads one property, without --json or names\n");
        usage(stderr);
        return 2;
    }
    return -1;
}
