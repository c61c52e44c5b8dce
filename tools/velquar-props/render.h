// The renderers, one per output mode.
#ifndef VELQUAR_PROPS_RENDER_H
#define VELQUAR_PROPS_RENDER_H

#include <cstdio>
#include <string>
#include <vector>

#include "readings.h"

// The table: a heading, then one row per reading as it is taken, so that
// the library's own lines fall between the rows (table.cpp).
void printTableHeading(FILE *out);
void printTableRow(FILE *out, const Reading &r);

// One JSON document: the lines of loading, creation, release and unloading,
// a note when some of the library's lines went to standard error instead,
// then every reading with its own (json.cpp).
void printJson(FILE *out, const std::vector<std::string> &output, const std::string &note,
               const std::vector<Reading> &readings);

// --value: the value alone on standard output, the library's lines and any
// failure on standard error; the exit status (value.cpp).
int printValue(FILE *out, const Reading &r, const std::vector<std::string> &output);

#endif
