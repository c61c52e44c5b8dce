#include "program.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "printable.h"
#include "standard_output.h"

namespace {

const char *g_program = "";
// What the step under way is doing, read by the exit handler on whichever
// thread exits.
std::atomic<const char *> g_step{nullptr};
std::atomic<int> g_endedStatus{1};

// Runs among the exit handlers; a step under way means that a platform
// library, not the program, called exit(). Nothing buffered is flushed: a
// half-made document is not output.
void reportEndedProcess() {
    const char *what = g_step.load();
    if (what) {
        fprintf(stderr, "%s: the platform library ended the process during %s\n", g_program, what);
        _exit(g_endedStatus.load());
    }
}

enum FrameOption { kHelp = 'h', kVersion = 0x7ff0 };

}  // namespace

void setEndedProcessStatus(int status) {
    g_endedStatus = status;
}

// A path in what, say, is shown with its control characters escaped.
PlatformStep::PlatformStep(const std::string &what)
    : m_what(printable(what)), m_outer(g_step.load()) {
    g_step = m_what.c_str();
}

PlatformStep::~PlatformStep() {
    g_step = m_outer;
}

int runProgram(const ProgramInfo &program, int argc, char **argv, const TakeOption &option,
               const TakeOperands &operands, const Work &work) {
    g_program = program.name;
    std::vector<OptionEntry> known = program.options;
    known.push_back({"help", 'h', nullptr, kHelp});
    known.push_back({"version", 0, nullptr, kVersion});
    CommandLine line(program.name, argc, argv, known);
    std::string mistake;
    bool reported = false;  // by the command line itself
    for (int c; !reported && mistake.empty() && (c = line.next()) != -1;) {
        if (c == '?') {
            reported = true;
        } else if (c == kHelp || c == kVersion) {
            if (c == kHelp) {
                program.help(stdout);
            } else {
                printf("%s %s\n", program.name, VELQUAR_VERSION);
            }
            return closeStandardOutput(stdout, program.name) ? 0 : 1;
        } else {
            mistake = option(c, line.argument());
        }
    }
    if (!reported && mistake.empty()) {
        mistake = operands(line.operands());
    }
    if (reported || !mistake.empty()) {
        if (!reported) {
            line.error("%s", mistake.c_str());
        }
        fprintf(stderr, "Try '%s --help' for more information.\n", program.name);
        return kUsageError;
    }

    atexit(reportEndedProcess);
    // Standard output is set aside before any platform library is loaded
    // and stays aside until the end: what they print, at load and unload
    // included, never lands in the program's output.
    bool aside = false;
    FILE *out = setStandardOutputAside(aside);
    if (!aside) {
        fprintf(stderr, "%s: cannot set standard output aside: %s\n", program.name,
                strerror(errno));
        return 1;
    }
    const int status = work(out);
    return !out || closeStandardOutput(out, program.name) ? status : 1;
}
