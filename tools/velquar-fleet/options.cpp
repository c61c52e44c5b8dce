#include <climits>
#include <cstdlib>
#include <cstring>

#include "fleet.h"

namespace {

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-fleet record [--library PATH] BUNDLE...\n"
            "       velquar-fleet check [--library PATH] [--json] BUNDLE...\n"
            "\n"
            "Replays each bundle that velquar-capture --bundle made with velquar-sim\n"
            "and reads its answers with velquar-props, two bundles at a time.\n"
            "record writes them into the bundle as its golden answers (%s);\n"
            "check compares them with the golden answers and prints one row per\n"
            "model with the properties whose answers changed, then a total.\n"
            "\n"
            "  --library PATH  the library to read with, instead of the installed one\n"
            "  --json          check: print one JSON document instead of the table\n"
            "  -h, --help      show this help\n"
            "  --version       show the version\n"
            "\n"
            "Exit status: record: 0 when every bundle was recorded, 1 otherwise.\n"
            "check: 0 when no model's answers changed, 1 when one did, 2 when a\n"
            "bundle could not be checked (it cannot be replayed or has no golden\n"
            "answers). 2 for a bad command line.\n",
            kGoldenName);
}

enum Option { kJson = 256, kLibrary };

}  // namespace

const char *const kGoldenName = "answers.json";

const ProgramInfo kProgram = {
    "velquar-fleet", usage, {{"json", 0, nullptr, kJson}, {"library", 0, "a path", kLibrary}}};

std::string takeOption(Options &options, int id, const char *value) {
    if (id == kJson) {
        options.json = true;
    } else if (id == kLibrary) {
        // The replay runs velquar-props elsewhere: the path must not depend
        // on the folder it starts in.
        char real[PATH_MAX];
        options.library = realpath(value, real) ? real : value;
        if (options.library.empty()) {
            return "--library needs a path";
        }
    }
    return std::string();
}

std::string takeOperands(Options &options, const std::vector<char *> &operands) {
    if (operands.empty()) {
        return "record or check, and the bundles, are missing";
    }
    if (strcmp(operands[0], "record") != 0 && strcmp(operands[0], "check") != 0) {
        return std::string("unknown command ") + operands[0] + ": record or check";
    }
    options.record = strcmp(operands[0], "record") == 0;
    options.bundles.assign(operands.begin() + 1, operands.end());
    if (options.bundles.empty()) {
        return std::string(operands[0]) + " needs at least one bundle";
    }
    if (options.record && options.json) {
        return "--json goes with check only";
    }
    return std::string();
}
