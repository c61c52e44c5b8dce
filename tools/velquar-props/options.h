// velquar-props' command line.
#ifndef VELQUAR_PROPS_OPTIONS_H
#define VELQUAR_PROPS_OPTIONS_H

#include <string>
#include <vector>

#include "library.h"
#include "program.h"

struct Options {
    bool json = false;                // --json
    bool list = false;                // --list: names and types, no context
    bool check = false;               // --check: the bring-up check
    bool quiet = false;               // -q: no waiting note
    const char *valueName = nullptr;  // --value NAME
    const char *compare = nullptr;    // --compare OLD.json
    const char *library = kDefaultLibrary;
    std::vector<const char *> names;  // the properties named, in order
};

// The program: its name, help and options.
extern const ProgramInfo kProgram;

// Notes an option in options (the frame's TakeOption).
std::string takeOption(Options &options, int id, const char *value);
// Notes the property names and checks that the options go together (the
// frame's TakeOperands).
std::string takeOperands(Options &options, const std::vector<char *> &operands);

#endif
