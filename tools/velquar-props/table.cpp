#include <cstdio>

#include "printable.h"
#include "render.h"

namespace {

void printRow(FILE *out, const char *name, const char *type, const std::string &result,
              const std::string &value) {
    if (value.empty()) {
        fprintf(out, "%-34s %-7s %s\n", name, type, result.c_str());
    } else {
        fprintf(out, "%-34s %-7s %-26s %s\n", name, type, result.c_str(), printable(value).c_str());
    }
    fflush(out);
}

}  // namespace

void printTableHeading(FILE *out) {
    printRow(out, "PROPERTY", "TYPE", "RESULT", "VALUE");
}

void printTableRow(FILE *out, const Reading &r) {
    printRow(out, r.name.c_str(), r.type, resultText(r.result), r.value);
}
