// The frame of the project's getopt programs: the option table with
// -h/--help and --version added, a usage error as one line and a pointer to
// the help, standard output kept for the program's own output and checked
// at the end, and a platform library that ends the process reported as a
// failure. A program brings its name, its help, its own options and its
// work.
#ifndef VELQUAR_TOOLS_PROGRAM_H
#define VELQUAR_TOOLS_PROGRAM_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "command_line.h"

struct ProgramInfo {
    const char *name;
    void (*help)(FILE *out);           // the text of --help
    std::vector<OptionEntry> options;  // the program's own; the frame adds -h, --help, --version
};

// What a program does with an option (its id and value, null for none) or
// with its operands: an empty string to go on, otherwise why the command
// line cannot be used.
using TakeOption = std::function<std::string(int id, const char *value)>;
using TakeOperands = std::function<std::string(const std::vector<char *> &operands)>;

// The program's work, with a stream on its standard output (null, errno
// set, when standard output is not open), while descriptor 1 points at
// standard error; the exit status.
using Work = std::function<int(FILE *out)>;

// The whole program: reads the command line (0 after --help or --version;
// kUsageError after "NAME: message" and "Try 'NAME --help' for more
// information." on standard error), then runs work with standard output set
// aside, and returns its status, or 1 when standard output did not take
// everything written to it.
int runProgram(const ProgramInfo &program, int argc, char **argv, const TakeOption &option,
               const TakeOperands &operands, const Work &work);

// While one lives, a platform library is being loaded, called or unloaded:
// should it end the process meanwhile (exit() in a constructor or a call),
// "NAME: the platform library ended the process during WHAT" goes to
// standard error and the status is 1 (or the one set with
// setEndedProcessStatus), whatever status it asked for.
// The status a platform library that ends the process leaves: 1 unless a
// program sets another, for a mode where 1 means a result (a comparison
// that found a difference, say).
void setEndedProcessStatus(int status);

class PlatformStep {
public:
    explicit PlatformStep(const std::string &what);
    ~PlatformStep();
    PlatformStep(const PlatformStep &) = delete;
    PlatformStep &operator=(const PlatformStep &) = delete;

private:
    std::string m_what;
    const char *m_outer;  // the step this one is part of
};

#endif
