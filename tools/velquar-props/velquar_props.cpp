// velquar-props: the property inspector.
//
// Loads the device properties library the way the streaming application
// does, through its exported C functions, creates a context and prints what
// every property (or the ones named) answers. Property failures are data:
// the exit status is 0 once a context was created. --value reads one
// property for a script, and its status tells how the read went.
//
// The jobs stand apart: the frame (tools/common/program.h) runs the
// program, options.cpp holds its options, library.cpp loads the library,
// session.cpp holds the context and readings.cpp takes each reading, and
// one renderer per output mode prints them (table.cpp, json.cpp, value.cpp,
// and list.cpp for the catalogue alone); check.cpp judges the readings for
// --check and check_report.cpp prints the verdicts; compare.cpp sets them
// against an earlier document, read and compared by tools/common/answers.h.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "answers.h"
#include "options.h"
#include "printable.h"
#include "program.h"
#include "render.h"
#include "session.h"
#include "waiting_note.h"

namespace {

// The answers of --compare, read before anything is loaded; false after a
// line on standard error when they cannot be used.
bool readOld(const char *path, AnswerSet &old) {
    std::string error;
    if (!readAnswers(path, old, error)) {
        fprintf(stderr, "velquar-props: cannot compare with %s: %s\n", printable(path).c_str(),
                printable(error).c_str());
        return false;
    }
    if (old.format < kAnswersFormat) {
        fprintf(stderr,
                "velquar-props: %s has no format version (a document of velquar-props 1.4.0 or "
                "earlier); its properties are compared as they are\n",
                printable(path).c_str());
    }
    return true;
}

// Loads the library, creates a context and prints its readings to out; the
// exit status.
int inspect(const Options &options, FILE *out) {
    // A comparison that cannot be made is not a difference.
    const int failed = options.compare ? 2 : 1;
    AnswerSet old;
    if (options.compare && !readOld(options.compare, old)) {
        return 2;
    }
    setEndedProcessStatus(failed);
    // The table shows the library's lines where they fall; the other modes
    // keep standard output for themselves. Outside the library's calls its
    // lines go to standard error.
    Session session(options.json || options.valueName || options.check || options.compare,
                    fileno(out));
    if (!session.ready()) {
        fprintf(stderr, "velquar-props: cannot set the library's output aside: %s\n",
                strerror(errno));
        return failed;
    }
    if (!session.load(options.library)) {
        linesToStderr(session.output());
        return failed;
    }
    int rc;
    {
        WaitingNote note(!options.quiet);
        rc = session.create();
    }
    if (rc != PROPERTY_OK) {
        session.unload();
        linesToStderr(session.output());
        fprintf(stderr, "velquar-props: CreateDevicePropertiesProviderContext failed: %s\n",
                resultText(rc).c_str());
        return failed;
    }

    if (options.compare || options.check) {
        const size_t created = session.output().size();
        std::vector<Reading> readings;
        session.readAll({}, [&](const Reading &r) { readings.push_back(r); });
        session.unload();
        if (options.compare) {
            return printCompare(out, options.json,
                                libraryLines(session.output(), created, readings), session.note(),
                                session.version(), old, readings);
        }
        return printCheck(out, options.json, session.output(), session.note(), session.version(),
                          created, readings);
    }
    if (options.valueName) {
        const Reading r = session.read(options.valueName);
        session.unload();
        return printValue(out, r, session.output());
    }
    std::vector<Reading> readings;
    if (!options.json) {
        printTableHeading(out);
    }
    session.readAll(options.names, [&](const Reading &r) {
        if (options.json) {
            readings.push_back(r);
        } else {
            printTableRow(out, r);
        }
    });
    session.unload();
    if (options.json) {
        printJson(out, session.output(), session.note(), session.version(), readings);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    return runProgram(
        kProgram, argc, argv,
        [&](int id, const char *value) { return takeOption(options, id, value); },
        [&](const std::vector<char *> &operands) { return takeOperands(options, operands); },
        [&](FILE *out) {
            if (!out) {
                fprintf(stderr, "velquar-props: cannot set standard output aside: %s\n",
                        strerror(errno));
                return 1;
            }
            if (options.list) {
                printList(out, options.json);
                return 0;
            }
            return inspect(options, out);
        });
}
