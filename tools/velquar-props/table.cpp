#include <cstdio>

#include "printable.h"
#include "render.h"

namespace {

void printRow(const char *name, const char *type, const std::string &result,
              const std::string &value) {
    if (value.empty()) {
        printf("%-34s %-7s %s\n", name, type, result.c_str());
    } else {
        printf("%-34s %-7s %-26s %s\n", name, type, result.c_str(), printable(value).c_str());
    }
    fflush(stdout);
}

}  // namespace

void printTableHeading() {
    printRow("PROPERTY", "TYPE", "RESULT", "VALUE");
}

void printTableRow(const Reading &r) {
    printRow(r.name.c_str(), r.type, resultText(r.result), r.value);
}
