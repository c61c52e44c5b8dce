// The renderers, one per output mode.
#ifndef VELQUAR_PROPS_RENDER_H
#define VELQUAR_PROPS_RENDER_H

#include <cstdio>
#include <string>
#include <vector>

#include "answers.h"
#include "json_string.h"
#include "readings.h"
#include "standard_output.h"

// The table: a heading, then one row per reading as it is taken, so that
// the library's own lines fall between the rows (table.cpp).
void printTableHeading(FILE *out);
void printTableRow(FILE *out, const Reading &r);

// One JSON document: the format, the library's release (version, null when
// it names none), the lines of loading, creation, release and unloading, a
// note when some of the library's lines went to standard error instead,
// then every reading with its own (json.cpp).
void printJson(FILE *out, const std::vector<std::string> &output, const std::string &note,
               const std::string *version, const std::vector<Reading> &readings);

// --list: the catalogue's names and types, one a line or as one JSON
// document; nothing is loaded (list.cpp).
void printList(FILE *out, bool json);

// A reading's value as JSON: null unless the read succeeded (json.cpp).
std::string jsonValue(const Reading &r);

// Opens a document with the format, the library's release, its lines and,
// when some went to standard error, the note that says why (json.cpp).
void beginLibraryDocument(JsonDocument &doc, const std::vector<std::string> &output,
                          const std::string &note, const std::string *version);

// The library's lines in the order it printed them: output's first created
// (loading and creation), each reading's, then the rest of output (release
// and unloading) (check_report.cpp).
std::vector<std::string> libraryLines(const std::vector<std::string> &output, size_t created,
                                      const std::vector<Reading> &readings);

// --check: one line per rule with PASS or FAIL and the values it saw, then
// a summary, or one JSON document; output holds the library's lines of
// loading and creation (the first created of them), then of release and
// unloading; note as for printJson. The exit status: 0 when every rule
// passed, 1 otherwise (check_report.cpp).
int printCheck(FILE *out, bool json, const std::vector<std::string> &output,
               const std::string &note, const std::string *version, size_t created,
               const std::vector<Reading> &readings);

// --compare: the lines of the properties whose answers differ from old's,
// those that count first, then the volatile ones, and a summary, or one JSON
// document; lines are the library's, in the order printed (libraryLines).
// The exit status: 0 when no counted answer differs, 1 otherwise
// (compare.cpp).
int printCompare(FILE *out, bool json, const std::vector<std::string> &lines,
                 const std::string &note, const std::string *version, const AnswerSet &old,
                 const std::vector<Reading> &readings);

// --value: the value alone on standard output, the library's lines and any
// failure on standard error; the exit status (value.cpp).
int printValue(FILE *out, const Reading &r, const std::vector<std::string> &output);

#endif
