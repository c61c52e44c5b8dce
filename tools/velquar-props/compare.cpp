#include <cstdio>

#include "answers.h"
#include "json_string.h"
#include "render.h"

namespace {

// The readings as answers, as the JSON document would hold them.
AnswerSet answersOf(const std::vector<Reading> &readings) {
    AnswerSet set;
    set.format = kAnswersFormat;
    for (const Reading &r : readings) {
        Answer a;
        a.type = r.type;
        a.code = r.result;
        a.result = resultText(r.result);
        a.hasValue = r.result == PROPERTY_OK;
        a.text = a.hasValue && a.type == "string";
        a.value = a.hasValue ? r.value : std::string();
        set.answers.emplace_back(r.name, a);
    }
    return set;
}

// The union of both sides' names.
size_t comparedCount(const AnswerSet &old, const AnswerSet &now) {
    size_t n = now.answers.size();
    for (const auto &entry : old.answers) {
        n += now.find(entry.first) ? 0 : 1;
    }
    return n;
}

}  // namespace

int printCompare(FILE *out, bool json, const std::vector<std::string> &lines,
                 const std::string &note, const std::string *version, const AnswerSet &old,
                 const std::vector<Reading> &readings) {
    const AnswerSet now = answersOf(readings);
    const std::vector<Difference> differences = compareAnswers(old, now);
    const size_t counted = countedDifferences(differences);
    const size_t compared = comparedCount(old, now);
    if (json) {
        JsonDocument doc(out);
        beginLibraryDocument(doc, lines, note, version);
        doc.member("oldFormat", std::to_string(old.format));
        doc.member("oldLibraryVersion",
                   old.hasLibraryVersion ? jsonString(old.libraryVersion) : "null");
        doc.beginArray("differences");
        for (const Difference &d : differences) {
            doc.element(differenceJson(d));
        }
        doc.endArray();
        doc.member("compared", std::to_string(compared));
        doc.member("differing", std::to_string(counted));
        doc.member("volatileDiffering", std::to_string(differences.size() - counted));
        doc.end();
    } else {
        linesToStderr(lines);
        // Those that count first, then the volatile ones.
        for (bool volatileOnes : {false, true}) {
            for (const Difference &d : differences) {
                if (d.isVolatile == volatileOnes) {
                    fprintf(out, "%s\n", differenceLine(d).c_str());
                }
            }
        }
        fprintf(out,
                "%zu properties compared: %zu differing, %zu volatile differing (not counted)\n",
                compared, counted, differences.size() - counted);
    }
    return counted == 0 ? 0 : 1;
}
