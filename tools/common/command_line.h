// Reading a program's options as getopt_long does (--opt=value or --opt
// value, unique abbreviations of long names, -- ends the options, operands
// anywhere before it), with every mistake reported as one line
// "NAME: message" on standard error.
#ifndef VELQUAR_TOOLS_COMMAND_LINE_H
#define VELQUAR_TOOLS_COMMAND_LINE_H

#include <getopt.h>

#include <string>
#include <vector>

// The exit status of a command line that cannot be used.
const int kUsageError = 2;

struct OptionEntry {
    const char *name;      // the long name, without its dashes
    char letter;           // the short form, 0 for none
    const char *argument;  // what its value is ("a path"), null when it takes none
    int id;                // what next() returns for it; not '?'
};

class CommandLine {
public:
    CommandLine(const char *program, int argc, char **argv, std::vector<OptionEntry> known);

    // The next option's id, -1 after the last option, or '?' once the
    // mistake has been reported.
    int next();
    // The value of the option next() returned.
    const char *argument() const { return optarg; }
    // The operands, in order, once next() has returned -1.
    std::vector<char *> operands() const;

    // Writes "NAME: message" to standard error.
    void error(const char *format, ...) const __attribute__((format(printf, 2, 3)));

private:
    const OptionEntry *find(int id) const;

    const char *m_program;
    int m_argc;
    char **m_argv;
    std::vector<OptionEntry> m_known;
    std::vector<option> m_long;
    std::string m_short;
};

#endif
