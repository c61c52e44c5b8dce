#include "answers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "file_io.h"

using nlohmann::json;

namespace {

// The documents write a byte that is not UTF-8 as the lone surrogate
// \udcXX, which JSON readers, this one included, refuse. Before the text is
// parsed each such escape becomes \u0000 followed by U+00XX, and a real
// \u0000 becomes two of them; restoreBytes undoes both in a parsed string.
// Nothing else in a parsed string is a NUL, so the two ways back cannot be
// confused.
std::string escapeBytes(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    bool inString = false;
    bool afterHigh = false;  // the last escape was a high surrogate
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!inString) {
            inString = c == '"';
            out += c;
            continue;
        }
        if (c == '"') {
            inString = false;
        } else if (c == '\\' && i + 1 < text.size()) {
            unsigned long code = 0x10000;  // not a \u escape
            if (text[i + 1] == 'u' && i + 6 <= text.size()) {
                const std::string hex = text.substr(i + 2, 4);
                if (hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
                    code = strtoul(hex.c_str(), nullptr, 16);
                }
            }
            const bool lowByte = code >= 0xdc80 && code <= 0xdcff && !afterHigh;
            afterHigh = code >= 0xd800 && code <= 0xdbff;
            if (lowByte || code == 0) {
                char buf[16];
                snprintf(buf, sizeof buf, "\\u0000\\u00%02lx", code & 0xff);
                out += buf;
                i += 5;
            } else {
                out.append(text, i, 2);
                i += 1;
            }
            continue;
        }
        afterHigh = false;
        out += c;
    }
    return out;
}

std::string restoreBytes(const std::string &s) {
    if (s.find('\0') == std::string::npos) {
        return s;
    }
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\0' || i + 1 >= s.size()) {
            out += s[i];
        } else if (s[i + 1] == '\0') {
            out += '\0';
            i += 1;
        } else if (i + 2 < s.size()) {
            // U+0080 to U+00FF in UTF-8: C2 or C3, then the low six bits.
            const unsigned char lead = static_cast<unsigned char>(s[i + 1]);
            const unsigned char low = static_cast<unsigned char>(s[i + 2]);
            out += static_cast<char>(((lead & 0x03) << 6) | (low & 0x3f));
            i += 2;
        }
    }
    return out;
}

bool wrong(std::string &error, const std::string &why) {
    error = why;
    return false;
}

// One element of "properties" as an answer; false, with why, when it is
// not one.
bool takeAnswer(const json &p, size_t index, std::string &name, Answer &a, std::string &error) {
    const std::string where = "property " + std::to_string(index + 1);
    if (!p.is_object()) {
        return wrong(error, where + " is not an object");
    }
    const auto n = p.find("name");
    const auto type = p.find("type");
    const auto code = p.find("code");
    const auto value = p.find("value");
    if (n == p.end() || !n->is_string() || type == p.end() || !type->is_string()) {
        return wrong(error, where + " lacks a name or a type");
    }
    name = restoreBytes(n->get<std::string>());
    a.type = restoreBytes(type->get<std::string>());
    if (code == p.end() || !code->is_number_integer()) {
        return wrong(error, where + " (" + name + ") lacks an integer code");
    }
    a.code = code->get<long long>();
    const auto result = p.find("result");
    a.result = result != p.end() && result->is_string() ? restoreBytes(result->get<std::string>())
                                                        : std::to_string(a.code);
    if (value == p.end()) {
        return wrong(error, where + " (" + name + ") lacks a value");
    }
    a.hasValue = !value->is_null();
    if (value->is_boolean()) {
        a.value = value->get<bool>() ? "true" : "false";
    } else if (value->is_number_integer()) {
        a.value = value->is_number_unsigned() ? std::to_string(value->get<unsigned long long>())
                                              : std::to_string(value->get<long long>());
    } else if (value->is_string()) {
        a.value = restoreBytes(value->get<std::string>());
        a.text = true;
    } else if (a.hasValue) {
        return wrong(error, where + " (" + name + ") has a value of no answer's kind");
    }
    return true;
}

}  // namespace

const Answer *AnswerSet::find(const std::string &name) const {
    for (const auto &entry : answers) {
        if (entry.first == name) {
            return &entry.second;
        }
    }
    return nullptr;
}

bool parseAnswers(const std::string &text, AnswerSet &set, std::string &error) {
    const json doc = json::parse(escapeBytes(text), nullptr, false);
    if (doc.is_discarded()) {
        return wrong(error, "not a JSON document");
    }
    if (!doc.is_object()) {
        return wrong(error, "not a JSON object");
    }
    set = AnswerSet();
    const auto format = doc.find("format");
    if (format != doc.end()) {
        if (!format->is_number_integer() || format->get<long long>() < 1) {
            return wrong(error, "its \"format\" is not a format number");
        }
        if (format->get<long long>() > kAnswersFormat) {
            return wrong(error, "it is of format " + std::to_string(format->get<long long>()) +
                                    ", newer than this release reads (" +
                                    std::to_string(kAnswersFormat) +
                                    "); compare it with the velquar-props that wrote it");
        }
        set.format = static_cast<int>(format->get<long long>());
    }
    const auto version = doc.find("libraryVersion");
    if (version != doc.end() && version->is_string()) {
        set.hasLibraryVersion = true;
        set.libraryVersion = restoreBytes(version->get<std::string>());
    }
    const auto properties = doc.find("properties");
    if (properties == doc.end() || !properties->is_array()) {
        return wrong(error, "it has no \"properties\" array");
    }
    std::set<std::string> seen;
    for (size_t i = 0; i < properties->size(); ++i) {
        std::string name;
        Answer a;
        if (!takeAnswer((*properties)[i], i, name, a, error)) {
            return false;
        }
        if (!seen.insert(name).second) {
            return wrong(error, "it names " + name + " twice");
        }
        set.answers.emplace_back(name, a);
    }
    return true;
}

bool readAnswersFrom(int fd, AnswerSet &set, std::string &error) {
    struct stat st;
    std::string text;
    if (fstat(fd, &st) != 0) {
        return wrong(error, strerror(errno));
    }
    if (!S_ISREG(st.st_mode)) {
        return wrong(error, "not a regular file");
    }
    switch (velquar::readText(fd, kAnswersMaxBytes, text)) {
        case velquar::ReadEnd::Failed:
            return wrong(error, strerror(errno));
        case velquar::ReadEnd::TooLarge:
            return wrong(error, "larger than " + std::to_string(kAnswersMaxBytes) + " bytes");
        case velquar::ReadEnd::Whole:
            break;
    }
    return parseAnswers(text, set, error);
}

bool readAnswers(const std::string &path, AnswerSet &set, std::string &error) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return wrong(error, strerror(errno));
    }
    const bool ok = readAnswersFrom(fd, set, error);
    close(fd);
    return ok;
}
