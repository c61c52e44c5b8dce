#include <algorithm>
#include <cstdio>
#include <cstring>

#include "check.h"
#include "json_string.h"
#include "printable.h"
#include "render.h"

namespace {

// A reading as the report shows it: the value, texts quoted, or the result
// code's name when the read failed.
std::string shown(const Reading &r) {
    if (r.result != PROPERTY_OK) {
        return resultText(r.result);
    }
    return strcmp(r.type, "string") == 0 ? "\"" + printable(r.value) + "\"" : r.value;
}

void printText(FILE *out, const std::vector<Verdict> &verdicts) {
    for (const Verdict &v : verdicts) {
        std::string line = std::string(v.pass ? "PASS " : "FAIL ") + v.rule;
        line.resize(std::max<size_t>(line.size(), 21), ' ');
        for (const Reading *r : v.seen) {
            line += " " + r->name + "=" + shown(*r);
        }
        if (!v.note.empty()) {
            line += " (" + printable(v.note) + ")";
        }
        fprintf(out, "%s\n", line.c_str());
    }
}

void printJsonReport(FILE *out, const std::vector<std::string> &lines, const std::string &note,
                     const std::string *version, const std::vector<Verdict> &verdicts,
                     size_t passed) {
    JsonDocument doc(out);
    beginLibraryDocument(doc, lines, note, version);
    doc.beginArray("rules");
    for (const Verdict &v : verdicts) {
        std::string values;
        for (const Reading *r : v.seen) {
            values += (values.empty() ? "" : ", ") + std::string("{\"name\": ") +
                      jsonString(r->name) + ", \"result\": " + jsonString(resultText(r->result)) +
                      ", \"value\": " + jsonValue(*r) + "}";
        }
        doc.element(std::string("{\"rule\": \"") + v.rule + "\", \"result\": \"" +
                    (v.pass ? "PASS" : "FAIL") +
                    "\", \"note\": " + (v.note.empty() ? "null" : jsonString(v.note)) +
                    ", \"values\": [" + values + "]}");
    }
    doc.endArray();
    doc.member("passed", std::to_string(passed));
    doc.member("failed", std::to_string(verdicts.size() - passed));
    doc.end();
}

}  // namespace

std::vector<std::string> libraryLines(const std::vector<std::string> &output, size_t created,
                                      const std::vector<Reading> &readings) {
    std::vector<std::string> lines(output.begin(), output.begin() + created);
    for (const Reading &r : readings) {
        lines.insert(lines.end(), r.output.begin(), r.output.end());
    }
    lines.insert(lines.end(), output.begin() + created, output.end());
    return lines;
}

int printCheck(FILE *out, bool json, const std::vector<std::string> &output,
               const std::string &note, const std::string *version, size_t created,
               const std::vector<Reading> &readings) {
    const std::vector<std::string> lines = libraryLines(output, created, readings);

    const std::vector<Verdict> verdicts = judge(readings);
    size_t passed = 0;
    for (const Verdict &v : verdicts) {
        passed += v.pass ? 1 : 0;
    }
    if (json) {
        printJsonReport(out, lines, note, version, verdicts, passed);
    } else {
        linesToStderr(lines);
        printText(out, verdicts);
        fprintf(out, "%zu rules: %zu passed, %zu failed\n", verdicts.size(), passed,
                verdicts.size() - passed);
    }
    return passed == verdicts.size() ? 0 : 1;
}
