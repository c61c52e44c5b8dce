#include "json_string.h"

#include <cstdio>

#include "printable.h"

std::string jsonString(const std::string &s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : utf8Length(s.data(), s.size(), i);
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

JsonDocument::JsonDocument(FILE *out) : m_out(out) {
    fputs("{", m_out);
}

void JsonDocument::member(const char *name, const std::string &json) {
    fprintf(m_out, "%s\n  \"%s\": %s", m_first ? "" : ",", name, json.c_str());
    m_first = false;
}

void JsonDocument::beginArray(const char *name) {
    member(name, "[");
    m_firstElement = true;
}

void JsonDocument::element(const std::string &json) {
    fprintf(m_out, "%s\n    %s", m_firstElement ? "" : ",", json.c_str());
    m_firstElement = false;
}

void JsonDocument::endArray() {
    fputs("\n  ]", m_out);
}

void JsonDocument::end() {
    fputs("\n}\n", m_out);
}
