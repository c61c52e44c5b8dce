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
                          const std::string &note) {
    doc.member("output", jsonLines(output));
    if (!note.empty()) {
        doc.member("note", jsonString(note));
    }
}

void printJson(FILE *out, const std::vector<std::string> &output, const std::string &note,
               const std::vector<Reading> &readings) {
    JsonDocument doc(out);
    beginLibraryDocument(doc, output, note);
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
