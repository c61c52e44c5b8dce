// JSON strings for any bytes. A byte that is not part of valid UTF-8
// becomes the lone surrogate \udcXX (XX the byte), which no valid text can
// produce: Python's json reads it back and .encode("utf-8",
// "surrogateescape") gives the original bytes.
#ifndef VELQUAR_TOOLS_JSON_STRING_H
#define VELQUAR_TOOLS_JSON_STRING_H

#include <cstdio>
#include <string>
#include <vector>

// The string, quoted.
std::string jsonString(const std::string &s);

// An array of strings on one line: ["a", "b"].
std::string jsonLines(const std::vector<std::string> &lines);

// The programs' JSON documents: one object, a member per line, arrays of
// objects with an element per line.
//   {
//     "output": ["a line"],
//     "properties": [
//       {"name": "panelWidth"}
//     ]
//   }
class JsonDocument {
public:
    explicit JsonDocument(FILE *out);
    // A member whose value is json, already written as JSON.
    void member(const char *name, const std::string &json);
    // A member whose value is an array: element() adds to it, until end().
    void beginArray(const char *name);
    void element(const std::string &json);
    void endArray();
    // Closes the object.
    void end();

private:
    FILE *m_out;
    bool m_first = true;         // no member yet
    bool m_firstElement = true;  // no element yet in the open array
};

#endif
