// What the library reads outside the platform libraries besides files: the
// output of its shell command lines and the certificate bundle variable,
// recorded as state file keys that a complete replay answers from.
#ifndef VELQUAR_CAPTURE_SHELL_RECORDS_H
#define VELQUAR_CAPTURE_SHELL_RECORDS_H

#include <string>

#include "state_file.h"

// The most output of one command line kept: the library reads one line of
// at most 255 bytes.
constexpr size_t kMaxShellOutput = 4096;

// Runs command as the library runs it ("/bin/sh -c", the C locale) and
// returns what it prints on standard output, at most kMaxShellOutput bytes.
// Empty when it prints nothing or cannot be started.
std::string shellOutput(const char *command);

// Adds every command line the library runs with its output, and the
// certificate bundle variable, set or not, to state.
void recordOutsideReads(StateText &state);

#endif
