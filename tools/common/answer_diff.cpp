// Two sets of answers compared, and a difference as a line or as JSON.
#include <cstring>

#include "answers.h"
#include "json_string.h"
#include "printable.h"

namespace {

// Free memory moves with every allocation on the television; the Wi-Fi link
// quality with the air. Everything else changes only when the television is
// set up, configured or updated differently, which is what a comparison is
// for.
const char *const kVolatile[] = {"availableMemory", "networkConnectionStrength"};

bool same(const Answer &a, const Answer &b) {
    return a.type == b.type && a.code == b.code && a.hasValue == b.hasValue && a.text == b.text &&
           a.value == b.value;
}

}  // namespace

bool isVolatile(const std::string &name) {
    for (const char *v : kVolatile) {
        if (name == v) {
            return true;
        }
    }
    return false;
}

std::vector<Difference> compareAnswers(const AnswerSet &before, const AnswerSet &after) {
    std::vector<Difference> out;
    for (const auto &entry : after.answers) {
        const Answer *old = before.find(entry.first);
        if (!old || !same(*old, entry.second)) {
            out.push_back({entry.first, old, &entry.second, isVolatile(entry.first)});
        }
    }
    for (const auto &entry : before.answers) {
        if (!after.find(entry.first)) {
            out.push_back({entry.first, &entry.second, nullptr, isVolatile(entry.first)});
        }
    }
    return out;
}

size_t countedDifferences(const std::vector<Difference> &differences) {
    size_t n = 0;
    for (const Difference &d : differences) {
        n += d.isVolatile ? 0 : 1;
    }
    return n;
}

std::string shownAnswer(const Answer *answer, bool withType) {
    if (!answer) {
        return "(absent)";
    }
    std::string out = withType ? printable(answer->type) + " " : std::string();
    out += printable(answer->result);
    if (answer->hasValue) {
        out += " " +
               (answer->text ? "\"" + printable(answer->value) + "\"" : printable(answer->value));
    }
    return out;
}

std::string differenceLine(const Difference &d) {
    const bool withType = d.before && d.after && d.before->type != d.after->type;
    return printable(d.name) + ": " + shownAnswer(d.before, withType) + " -> " +
           shownAnswer(d.after, withType) + (d.isVolatile ? " (volatile, not counted)" : "");
}

std::string answerJson(const Answer *answer) {
    if (!answer) {
        return "null";
    }
    const std::string value = !answer->hasValue ? "null"
                              : answer->text    ? jsonString(answer->value)
                                                : answer->value;
    return "{\"type\": " + jsonString(answer->type) +
           ", \"result\": " + jsonString(answer->result) +
           ", \"code\": " + std::to_string(answer->code) + ", \"value\": " + value + "}";
}

std::string differenceJson(const Difference &d) {
    return "{\"name\": " + jsonString(d.name) +
           ", \"volatile\": " + (d.isVolatile ? "true" : "false") +
           ", \"old\": " + answerJson(d.before) + ", \"new\": " + answerJson(d.after) + "}";
}
