// velquar-props' command line.
#ifndef VELQUAR_PROPS_OPTIONS_H
#define VELQUAR_PROPS_OPTIONS_H

#include <vector>

extern const char *const kDefaultLibrary;

struct Options {
    bool json = false;                // --json
    bool list = false;                // --list: names and types, no context
    bool check = false;               // --check: the bring-up check
    bool quiet = false;               // -q: no waiting note
    const char *valueName = nullptr;  // --value NAME
    const char *library = kDefaultLibrary;
    std::vector<const char *> names;  // the properties named, in order
};

// Fills options from the command line. Returns -1 to go on, otherwise the
// exit status (0 after --help or --version, 2 for a command line that
// cannot be used, with a line saying why on standard error).
int parseOptions(int argc, char **argv, Options &options);

#endif
