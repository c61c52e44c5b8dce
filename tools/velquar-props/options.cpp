#include "options.h"

#include <cstdio>

namespace {

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-props [-q] [--json] [--library PATH] [NAME...]\n"
            "       velquar-props [-q] --value NAME [--library PATH]\n"
            "       velquar-props [-q] --check [--json] [--library PATH]\n"
            "       velquar-props [-q] --compare OLD.json [--json] [--library PATH]\n"
            "       velquar-props --list [--json]\n"
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
            "  --list          print the catalogue's names and types; no context\n"
            "  --compare OLD.json\n"
            "                  read every property and print one line per property\n"
            "                  whose answer differs from OLD.json's (a --json document\n"
            "                  of velquar-props), volatile ones apart, then a summary\n"
            "  --check         read every property once and judge the answers against\n"
            "                  what a correct television satisfies, one line per rule\n"
            "  --library PATH  load this library instead of %s\n"
            "  -q, --quiet     no note on standard error while the platform is slow\n"
            "  -h, --help      show this help\n"
            "  --version       show the version\n"
            "\n"
            "Exit status: 0 once a context was created, whatever the properties\n"
            "answered (with --value: once the read succeeded; with --check: once every\n"
            "rule passed); 1 when the library cannot be loaded, ends the process or\n"
            "the context cannot be created, or with --check when a rule failed; 2 for\n"
            "a bad command line; with --value, 3 when the read failed and 4 for an\n"
            "unknown property. With --compare: 0 when no answer that counts differs,\n"
            "1 when one does, 2 when nothing could be compared (a bad command line,\n"
            "OLD.json unusable, the library not loaded or no context).\n",
            kDefaultLibrary);
}

enum Option { kJson = 256, kValue, kList, kCheck, kLibrary, kCompare };

}  // namespace

const ProgramInfo kProgram = {"velquar-props",
                              usage,
                              {{"json", 0, nullptr, kJson},
                               {"value", 0, "a property name", kValue},
                               {"list", 0, nullptr, kList},
                               {"check", 0, nullptr, kCheck},
                               {"library", 0, "a path", kLibrary},
                               {"compare", 0, "a file", kCompare},
                               {"quiet", 'q', nullptr, 'q'}}};

std::string takeOption(Options &options, int id, const char *value) {
    switch (id) {
        case kJson:
            options.json = true;
            break;
        case kValue:
            options.valueName = value;
            break;
        case kList:
            options.list = true;
            break;
        case kCheck:
            options.check = true;
            break;
        case kLibrary:
            options.library = value;
            break;
        case kCompare:
            options.compare = value;
            break;
        case 'q':
            options.quiet = true;
            break;
    }
    return std::string();
}

std::string takeOperands(Options &options, const std::vector<char *> &operands) {
    options.names.assign(operands.begin(), operands.end());
    if (options.valueName && (options.json || options.list || options.check || options.compare ||
                              !options.names.empty())) {
        return "--value reads one property, without --json, --list, --check, --compare or names";
    }
    if (options.list && (options.check || !options.names.empty())) {
        return "--list prints the whole catalogue, without --check or names";
    }
    if (options.compare && (options.check || options.list || !options.names.empty())) {
        return "--compare reads every property, without --check, --list or names";
    }
    if (options.check && !options.names.empty()) {
        return "--check reads every property, without names";
    }
    return std::string();
}
