// A television's answers as velquar-props' JSON document holds them, read
// back bounded and without trusting the file, and two sets of answers
// compared by property name. velquar-props --compare and velquar-fleet use
// this one reading and this one comparison.
#ifndef VELQUAR_TOOLS_ANSWERS_H
#define VELQUAR_TOOLS_ANSWERS_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// The format of the documents this release writes. Documents of 1.4.0 and
// earlier carry no "format" member and read as format 1, which holds the
// same property members.
const int kAnswersFormat = 2;

// The largest document read: one of 49 answers and the library's lines is a
// few kilobytes.
const size_t kAnswersMaxBytes = 1024 * 1024;

// One property's answer: its type word, the result code (and its name as
// written), and the value as text when the read succeeded (bool "true" or
// "false", integers in decimal, strings as their bytes).
struct Answer {
    std::string type;
    long long code = 0;
    std::string result;
    bool hasValue = false;
    bool text = false;  // the value is a JSON string (else a boolean or an integer)
    std::string value;
};

struct AnswerSet {
    int format = 1;  // 1 for a document without "format"
    bool hasLibraryVersion = false;
    std::string libraryVersion;                           // from "libraryVersion", when a string
    std::vector<std::pair<std::string, Answer>> answers;  // in the document's order

    const Answer *find(const std::string &name) const;
};

// Reads a document from text: false, with why in error, when it is not a
// JSON object with a "properties" array of answers, names a property twice,
// or is of a format newer than kAnswersFormat.
bool parseAnswers(const std::string &text, AnswerSet &set, std::string &error);

// Reads the document in the regular file at path, at most kAnswersMaxBytes
// of it; false, with why in error, when it cannot be read or parsed.
bool readAnswers(const std::string &path, AnswerSet &set, std::string &error);
// The same for a file open as fd (opened without blocking).
bool readAnswersFrom(int fd, AnswerSet &set, std::string &error);

// Whether a property's answer changes by itself on a running television
// (free memory, the Wi-Fi link quality): such a change is shown apart and
// counts for nothing.
bool isVolatile(const std::string &name);

// A property whose answer is not the same on both sides: its type, result
// code or value differs, or it is on one side only (null on the other).
struct Difference {
    std::string name;
    const Answer *before;
    const Answer *after;
    bool isVolatile;
};

// The differences, in the order of after's properties, then those found in
// before only. The pointers point into the two sets.
std::vector<Difference> compareAnswers(const AnswerSet &before, const AnswerSet &after);

// How many of the differences count (are not volatile).
size_t countedDifferences(const std::vector<Difference> &differences);

// An answer as one line of text shows it: "OK 3840", "OK \"text\"" (texts
// quoted, printable), the result code's name alone for a failed read, the
// type in front when withType, "(absent)" for none.
std::string shownAnswer(const Answer *answer, bool withType);

// "NAME: OLD -> NEW", with " (volatile, not counted)" for a volatile one.
std::string differenceLine(const Difference &d);

// An answer as a JSON object {"type", "result", "code", "value"}, or null.
std::string answerJson(const Answer *answer);

// A difference as a JSON object {"name", "volatile", "old", "new"}.
std::string differenceJson(const Difference &d);

#endif
