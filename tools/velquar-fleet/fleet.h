// velquar-fleet's parts: the command line, one bundle's replay, the golden
// answers in a bundle, and the reports.
#ifndef VELQUAR_FLEET_FLEET_H
#define VELQUAR_FLEET_FLEET_H

#include <cstdio>
#include <string>
#include <vector>

#include "answers.h"
#include "program.h"

// The file in a bundle that holds its golden answers: velquar-props' JSON
// document, as `velquar-fleet record` wrote it.
extern const char *const kGoldenName;

struct Options {
    bool record = false;  // "record", else "check"
    bool json = false;    // --json (check only)
    std::string library;  // --library PATH, made absolute; empty for the installed one
    std::vector<std::string> bundles;
};

extern const ProgramInfo kProgram;
std::string takeOption(Options &options, int id, const char *value);
std::string takeOperands(Options &options, const std::vector<char *> &operands);

// What became of one bundle.
struct Outcome {
    std::string bundle;    // the folder's name
    std::string model;     // modelName of the replay's answers, empty without one
    std::string error;     // why it could not be replayed, recorded or checked; empty when it was
    AnswerSet now;         // the replay's answers
    std::string document;  // and the document that holds them
    AnswerSet golden;      // check: the recorded answers
    std::vector<Difference> differences;  // check: golden against now
};

// Runs velquar-sim --bundle BUNDLE velquar-props --json [--library PATH],
// both programs beside this one, and takes its document into outcome;
// false, with outcome.error set, when the replay fails or gives no
// document (replay.cpp).
bool replay(const std::string &bundle, const std::string &library, Outcome &outcome);

// The golden answers of a bundle: read (false, with why in error, when
// there are none or they cannot be read) or written anew through a
// temporary file renamed into place. Neither follows a link at the
// file's name (golden.cpp).
bool readGolden(const std::string &bundle, AnswerSet &golden, std::string &error);
bool writeGolden(const std::string &bundle, const std::string &document, std::string &error);

// The reports; each returns the exit status (report.cpp).
int printRecord(FILE *out, const std::vector<Outcome> &outcomes);
int printTable(FILE *out, const std::vector<Outcome> &outcomes);
int printJsonReport(FILE *out, const std::vector<Outcome> &outcomes);

#endif
