// velquar-capture's command line.
#ifndef VELQUAR_CAPTURE_OPTIONS_H
#define VELQUAR_CAPTURE_OPTIONS_H

struct Options {
    const char *bundlePath = nullptr;  // --bundle DIR; none: the state file to standard output
};

// Fills options from the command line. Returns -1 to go on, otherwise the
// exit status (0 after --help, 2 for a bad option, with the help on
// standard error).
int parseOptions(int argc, char **argv, Options &options);

#endif
