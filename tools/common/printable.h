// A text as the tools show it on one output line: control characters as
// escapes (\n for the line feed, \xHH for the others) and a backslash
// doubled, so that no byte of it can start a line of its own.
#ifndef VELQUAR_TOOLS_PRINTABLE_H
#define VELQUAR_TOOLS_PRINTABLE_H

#include <cstdio>
#include <string>

inline std::string printable(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

#endif
