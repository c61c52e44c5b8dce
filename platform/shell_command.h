// Runs a shell command line and keeps the first line it prints.
#ifndef VELQUAR_SHELL_COMMAND_H
#define VELQUAR_SHELL_COMMAND_H

#include <string>

namespace velquar {

// Replaces output with the first line that command prints on its standard
// output, line feed included, at most 255 characters (the rest is
// discarded), and returns 0 once the command has ended. Returns
// PROPERTY_UNAVAILABLE, output untouched, when no shell can be started or
// the command prints nothing. The command's exit status is not looked at.
int runShellCommand(const std::string &command, std::string &output);

}  // namespace velquar

#endif
