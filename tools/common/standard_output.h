// Standard output kept for a program's own output while the libraries it
// loads run: whatever they print on descriptor 1 goes to standard error
// instead, at load and unload included.
#ifndef VELQUAR_TOOLS_STANDARD_OUTPUT_H
#define VELQUAR_TOOLS_STANDARD_OUTPUT_H

#include <cstdio>
#include <string>
#include <vector>

// Points descriptor 1 at standard error and returns a stream on the
// standard output it had (close-on-exec, so no child inherits it). Null,
// errno set, when standard output was not open or descriptor 1 could not be
// moved; aside then tells whether descriptor 1 is standard error's all the
// same. SIGXFSZ is ignored from now on: a write past the file-size limit
// fails with EFBIG, which the program reports, instead of killing it.
FILE *setStandardOutputAside(bool &aside);

// Closes out, standard output, as coreutils do: false, after
// "PROGRAM: write error on standard output: REASON" on standard error,
// when anything written to it failed to get there.
bool closeStandardOutput(FILE *out, const char *program);

// Lines that have no place on standard output, on standard error.
void linesToStderr(const std::vector<std::string> &lines);

#endif
