#include "json_string.h"

#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at s[i], or 0 when the bytes there
// are not one (overlong forms, surrogates and code points past U+10FFFF
// included).
size_t utf8Length(const std::string &s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    size_t n;
    unsigned char lo = 0x80, hi = 0xbf;  // the range of the second byte
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        lo = c == 0xe0 ? 0xa0 : 0x80;
        hi = c == 0xed ? 0x9f : 0xbf;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        lo = c == 0xf0 ? 0x90 : 0x80;
        hi = c == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (s.size() - i < n || at(i + 1) < lo || at(i + 1) > hi) {
        return 0;
    }
    for (size_t k = 2; k < n; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xbf) {
            return 0;
        }
    }
    return n;
}

}  // namespace

std::string jsonString(const std::string &s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = utf8Length(s, i);
        char buf[8];
        if (n == 0) {
            snprintf(buf, sizeof buf, "\\udc%02x", c);
            out += buf;
            i += 1;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::string jsonLines(const std::vector<std::string> &lines) {
    std::string out = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += (i ? ", " : "") + jsonString(lines[i]);
    }
    return out + "]";
}
