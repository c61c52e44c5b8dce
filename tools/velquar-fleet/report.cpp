// The reports of record and check: a line per bundle, or the table with a
// row per model and a total, or one JSON document for CI.
#include <algorithm>
#include <cstring>

#include "fleet.h"
#include "json_string.h"
#include "printable.h"

namespace {

std::string shownModel(const Outcome &o) {
    return o.model.empty() ? "-" : printable(o.model);
}

// A width for a column: its heading's or its longest text's.
size_t width(const char *heading, const std::vector<Outcome> &outcomes,
             std::string (*shown)(const Outcome &)) {
    size_t w = strlen(heading);
    for (const Outcome &o : outcomes) {
        w = std::max(w, shown(o).size());
    }
    return w;
}

std::string shownBundle(const Outcome &o) {
    return printable(o.bundle);
}

std::string padded(std::string text, size_t w) {
    text.resize(std::max(text.size(), w), ' ');
    return text;
}

enum class Verdict { Unchanged, Changed, Failed };

Verdict verdict(const Outcome &o) {
    if (!o.error.empty()) {
        return Verdict::Failed;
    }
    return countedDifferences(o.differences) ? Verdict::Changed : Verdict::Unchanged;
}

size_t count(const std::vector<Outcome> &outcomes, Verdict v) {
    return std::count_if(outcomes.begin(), outcomes.end(),
                         [v](const Outcome &o) { return verdict(o) == v; });
}

// 0 nothing changed, 1 a model changed, 2 a bundle could not be checked.
int checkStatus(const std::vector<Outcome> &outcomes) {
    return count(outcomes, Verdict::Failed) ? 2 : count(outcomes, Verdict::Changed) ? 1 : 0;
}

}  // namespace

int printRecord(FILE *out, const std::vector<Outcome> &outcomes) {
    for (const Outcome &o : outcomes) {
        if (o.error.empty()) {
            fprintf(out, "%s: recorded %s (%s)\n", printable(o.bundle).c_str(), kGoldenName,
                    shownModel(o).c_str());
        } else {
            fprintf(out, "%s: not recorded: %s\n", printable(o.bundle).c_str(),
                    printable(o.error).c_str());
        }
    }
    return count(outcomes, Verdict::Failed) ? 1 : 0;
}

int printTable(FILE *out, const std::vector<Outcome> &outcomes) {
    const size_t bundleWidth = width("BUNDLE", outcomes, shownBundle);
    const size_t modelWidth = width("MODEL", outcomes, shownModel);
    const std::string indent(bundleWidth + modelWidth + 2, ' ');
    fprintf(out, "%s %s CHANGES\n", padded("BUNDLE", bundleWidth).c_str(),
            padded("MODEL", modelWidth).c_str());
    for (const Outcome &o : outcomes) {
        std::vector<std::string> changes;
        for (const Difference &d : o.differences) {
            changes.push_back(differenceLine(d));
        }
        if (!o.error.empty()) {
            changes = {"not checked: " + printable(o.error)};
        } else if (changes.empty()) {
            changes = {"none"};
        }
        fprintf(out, "%s %s %s\n", padded(printable(o.bundle), bundleWidth).c_str(),
                padded(shownModel(o), modelWidth).c_str(), changes[0].c_str());
        for (size_t i = 1; i < changes.size(); ++i) {
            fprintf(out, "%s%s\n", indent.c_str(), changes[i].c_str());
        }
    }
    fprintf(out, "%zu bundle%s: %zu changed, %zu unchanged, %zu not checked\n", outcomes.size(),
            outcomes.size() == 1 ? "" : "s", count(outcomes, Verdict::Changed),
            count(outcomes, Verdict::Unchanged), count(outcomes, Verdict::Failed));
    return checkStatus(outcomes);
}

int printJsonReport(FILE *out, const std::vector<Outcome> &outcomes) {
    static const char *const kVerdicts[] = {"unchanged", "changed", "not checked"};
    JsonDocument doc(out);
    doc.member("format", std::to_string(kAnswersFormat));
    doc.beginArray("bundles");
    for (const Outcome &o : outcomes) {
        std::string differences;
        for (const Difference &d : o.differences) {
            differences += (differences.empty() ? "" : ", ") + differenceJson(d);
        }
        doc.element("{\"bundle\": " + jsonString(o.bundle) +
                    ", \"model\": " + (o.model.empty() ? "null" : jsonString(o.model)) +
                    ", \"result\": \"" + kVerdicts[static_cast<int>(verdict(o))] +
                    "\", \"error\": " + (o.error.empty() ? "null" : jsonString(o.error)) +
                    ", \"differences\": [" + differences + "]}");
    }
    doc.endArray();
    doc.member("bundleCount", std::to_string(outcomes.size()));
    doc.member("changed", std::to_string(count(outcomes, Verdict::Changed)));
    doc.member("unchanged", std::to_string(count(outcomes, Verdict::Unchanged)));
    doc.member("notChecked", std::to_string(count(outcomes, Verdict::Failed)));
    doc.end();
    return checkStatus(outcomes);
}
