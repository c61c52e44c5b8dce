// velquar-props: the property inspector.
//
// Loads the device properties library the way the streaming application
// does, through its exported C functions, creates a context and prints what
// every property (or the ones named) answers. Property failures are data:
// the exit status is 0 once a context was created. --value reads one
// property for a script, and its status tells how the read went.
//
// The jobs stand apart: options.cpp reads the command line, readings.cpp
// loads the library and takes the readings, and one renderer per output
// mode prints them (table.cpp, json.cpp, value.cpp, and list.cpp for the
// catalogue alone); check.cpp judges the readings for --check and
// check_report.cpp prints the verdicts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "options.h"
#include "readings.h"
#include "render.h"
#include "standard_output.h"
#include "waiting_note.h"

namespace {

const char kProgram[] = "velquar-props";

// Loads the library, creates a context and prints its readings to out; the
// exit status.
int inspect(const Options &options, FILE *out) {
    // The table shows the library's lines where they fall; the other modes
    // keep standard output for themselves. Outside the library's calls its
    // lines go to standard error.
    Session session(options.json || options.valueName || options.check, fileno(out));
    if (!session.ready()) {
        fprintf(stderr, "velquar-props: cannot set the library's output aside: %s\n",
                strerror(errno));
        return 1;
    }
    if (!session.load(options.library)) {
        linesToStderr(session.output());
        return 1;
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
        return 1;
    }

    if (options.check) {
        const size_t created = session.output().size();
        std::vector<Reading> readings;
        session.readAll({}, [&](const Reading &r) { readings.push_back(r); });
        session.unload();
        return printCheck(out, options.json, session.output(), session.note(), created, readings);
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
        printJson(out, session.output(), session.note(), readings);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    const int status = parseOptions(argc, argv, options);
    if (status >= 0) {
        return closeStandardOutput(stdout, kProgram) ? status : 1;
    }
    if (options.list) {
        printList(stdout, options.json);
        return closeStandardOutput(stdout, kProgram) ? 0 : 1;
    }
    // Standard output is set aside before the library and the platform's
    // libraries are loaded, and stays aside until they are unloaded: what
    // they print at load or unload never lands in the readings' output.
    bool aside = false;
    FILE *out = setStandardOutputAside(aside);
    if (!out) {
        fprintf(stderr, "velquar-props: cannot set standard output aside: %s\n", strerror(errno));
        return 1;
    }
    const int rc = inspect(options, out);
    return closeStandardOutput(out, kProgram) ? rc : 1;
}
