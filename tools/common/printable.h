// A text as the tools show it on one output line: control characters as
// escapes (\n for the line feed, \xHH for the others), C1 controls (U+0080
// to U+009F), the line and paragraph separators (U+2028, U+2029) and bytes
// that are not UTF-8 as \xHH per byte, and a backslash doubled, so that no
// byte of it can start a line of its own, for a byte-wise or a Unicode-aware
// reader, or drive a terminal. Other UTF-8 characters show as they are.
#ifndef VELQUAR_TOOLS_PRINTABLE_H
#define VELQUAR_TOOLS_PRINTABLE_H

#include <cstddef>
#include <cstdio>
#include <string>

// The length of the well-formed UTF-8 sequence of two bytes or more at
// text[at], 0 when there is none (a stray, overlong or surrogate byte).
inline size_t utf8Length(const char *text, size_t size, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;   // overlong
        high = lead == 0xed ? 0x9f : 0xbf;  // surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;   // overlong
        high = lead == 0xf4 ? 0x8f : 0xbf;  // past U+10FFFF
    } else {
        return 0;
    }
    if (size - at < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[at + i]);
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xbf)) {
            return 0;
        }
    }
    return length;
}

// Hands the escaped form of text to put(const char *, size_t), piece by
// piece; for code that does without std::string.
template <typename Put>
void escapeText(const char *text, size_t size, Put put) {
    for (size_t at = 0; at < size;) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        size_t length = 1;
        bool escape = c < 0x20 || c >= 0x7f;
        if (c >= 0x80) {
            length = utf8Length(text, size, at);
            const unsigned char next = length ? static_cast<unsigned char>(text[at + 1]) : 0;
            // U+0080 to U+009F: C2 80 to C2 9F; U+2028 and U+2029: E2 80 A8 and E2 80 A9.
            escape = length == 0 || (c == 0xc2 && next < 0xa0) ||
                     (c == 0xe2 && next == 0x80 &&
                      (static_cast<unsigned char>(text[at + 2]) | 1) == 0xa9);
            length = length ? length : 1;
        }
        if (c == '\n') {
            put("\\n", 2);
        } else if (c == '\\') {
            put("\\\\", 2);
        } else if (escape) {
            for (size_t i = 0; i < length; ++i) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(text[at + i]));
                put(hex, 4);
            }
        } else {
            put(text + at, length);
        }
        at += length;
    }
}

inline std::string printable(const std::string &text) {
    std::string out;
    escapeText(text.data(), text.size(),
               [&out](const char *piece, size_t length) { out.append(piece, length); });
    return out;
}

#endif
