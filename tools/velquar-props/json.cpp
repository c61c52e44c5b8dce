#include <cstdio>
#include <cstring>

#include "json_string.h"
#include "render.h"

std::string jsonValue(const Reading &r) {
    if (r.result != PROPERTY_OK) {
        return "null";
    }
    return strcmp(r.type, "string") == 0 ? jsonString(r.value) : r.value;
}

void beginLibraryDocument(JsonDocument &doc, const std::vector<std::string> &output,
                          const std::string &note, const std::string *version) {
    doc.member("format", std::to_string(kAnswersFormat));
    doc.member("libraryVersion", version ? jsonString(*version) : "null");
    doc.member("output", jsonLines(output));
    if (!note.empty()) {
        doc.member("note", jsonString(note));
    }
}

void printJson(FILE *out, const std::vector<std::string> &output, const std::string &note,
               const std::string *version, const std::vector<Reading> &readings) {
    JsonDocument doc(out);
    beginLibraryDocument(doc, output, note, version);
    doc.beginArray("properties");
    for (const Reading &r : readings) {
        doc.element("{\"name\": " + jsonString(r.name) + ", \"type\": \"" + r.type +
                    "\", \"result\": " + jsonString(resultText(r.result)) +
                    ", \"code\": " + std::to_string(r.result) + ", \"value\": " + jsonValue(r) +
                    ", \"output\": " + jsonLines(r.output) + "}");
    }
    doc.endArray();
    doc.end();
}
