// JSON strings for any bytes. A byte that is not part of valid UTF-8
// becomes the lone surrogate \udcXX (XX the byte), which no valid text can
// produce: Python's json reads it back and .encode("utf-8",
// "surrogateescape") gives the original bytes.
#ifndef VELQUAR_TOOLS_JSON_STRING_H
#define VELQUAR_TOOLS_JSON_STRING_H

#include <string>
#include <vector>

// The string, quoted.
std::string jsonString(const std::string &s);

// An array of strings on one line: ["a", "b"].
std::string jsonLines(const std::vector<std::string> &lines);

#endif
