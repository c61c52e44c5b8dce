// The renderers, one per output mode.
#ifndef VELQUAR_PROPS_RENDER_H
#define VELQUAR_PROPS_RENDER_H

#include <string>
#include <vector>

#include "readings.h"

// The table: a heading, then one row per reading as it is taken, so that
// the library's own lines fall between the rows (table.cpp).
void printTableHeading();
void printTableRow(const Reading &r);

// One JSON document: creation's and release's lines, then every reading
// with its own (json.cpp).
void printJson(const std::vector<std::string> &output, const std::vector<Reading> &readings);

// --list: the catalogue's names and types, one a line or as one JSON
// document; nothing is loaded (list.cpp).
void printList(bool json);

// --value: the value alone on standard output, the library's lines and any
// failure on standard error; the exit status (value.cpp).
int printValue(const Reading &r, const std::vector<std::string> &output);

#endif
