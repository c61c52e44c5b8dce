// The renderers, one per output mode.
#ifndef VELQUAR_PROPS_RENDER_H
#define VELQUAR_PROPS_RENDER_H

#include <cstdio>
#include <string>
#include <vector>

#include "json_string.h"
#include "readings.h"
#include "standard_output.h"

// The table: a heading, then one row per reading as it is taken, so that
// the library's own lines fall between the rows (table.cpp).
void printTableHeading(FILE *out);
void printTableRow(FILE *out, const Reading &r);

// One JSON document: the lines of loading, creation, release and unloading,
// a note when some of the library's lines went to standard error instead,
// then every reading with its own (json.cpp).
void printJson(FILE *out, const std::vector<std::string> &output, const std::string &note,
               const std::vector<Reading> &readings);

// --list: the catalogue's names and types, one a line or as one JSON
// document; nothing is loaded (list.cpp).
void printList(FILE *out, bool json);

// A reading's value as JSON: null unless the read succeeded (json.cpp).
std::string jsonValue(const Reading &r);

// Opens a document with the library's lines and, when some went to
// standard error, the note that says why (json.cpp).
void beginLibraryDocument(JsonDocument &doc, const std::vector<std::string> &output,
                          const std::string &note);

// --check: one line per rule with PASS or FAIL and the values it saw, then
// a summary, or one JSON document; output holds the library's lines of
// loading and creation (the first created of them), then of release and
// unloading; note as for printJson. The exit status: 0 when every rule
// passed, 1 otherwise (check_report.cpp).
int printCheck(FILE *out, bool json, const std::vector<std::string> &output,
               const std::string &note, size_t created, const std::vector<Reading> &readings);

// --value: the value alone on standard output, the library's lines and any
// failure on standard error; the exit status (value.cpp).
int printValue(FILE *out, const Reading &r, const std::vector<std::string> &output);

#endif
