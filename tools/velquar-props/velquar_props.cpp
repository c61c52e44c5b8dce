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
#include "waiting_note.h"

int main(int argc, char **argv) {
    Options options;
    const int status = parseOptions(argc, argv, options);
    if (status >= 0) {
        return status;
    }
    if (options.list) {
        printList(options.json);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    Api api{};
    if (!loadApi(options.library, api)) {
        return 1;
    }

    // The table shows the library's lines where they fall; the other modes
    // keep standard output for themselves.
    Session session(api, options.json || options.valueName || options.check);
    if (!session.ready()) {
        fprintf(stderr, "velquar-props: cannot set the library's output aside: %s\n",
                strerror(errno));
        return 1;
    }
    int rc;
    {
        WaitingNote note(!options.quiet);
        rc = session.create();
    }
    if (rc != PROPERTY_OK) {
        linesToStderr(session.output());
        fprintf(stderr, "velquar-props: CreateDevicePropertiesProviderContext failed: %s\n",
                resultText(rc).c_str());
        return 1;
    }

    if (options.check) {
        const size_t created = session.output().size();
        std::vector<Reading> readings;
        session.readAll({}, [&](const Reading &r) { readings.push_back(r); });
        session.release();
        return printCheck(options.json, session.output(), created, readings);
    }
    if (options.valueName) {
        const Reading r = session.read(options.valueName);
        session.release();
        return printValue(r, session.output());
    }
    std::vector<Reading> readings;
    if (!options.json) {
        printTableHeading();
    }
    session.readAll(options.names, [&](const Reading &r) {
        if (options.json) {
            readings.push_back(r);
        } else {
            printTableRow(r);
        }
    });
    session.release();
    if (options.json) {
        printJson(session.output(), readings);
    }
    return 0;
}
