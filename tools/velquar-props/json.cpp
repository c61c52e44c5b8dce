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

void printJson(FILE *out, const std::vector<std::string> &output, const std::string &note,
               const std::vector<Reading> &readings) {
    fprintf(out, "{\n  \"output\": %s,\n", jsonLines(output).c_str());
    if (!note.empty()) {
        fprintf(out, "  \"note\": %s,\n", jsonString(note).c_str());
    }
    fprintf(out, "  \"properties\": [\n");
    for (size_t i = 0; i < readings.size(); ++i) {
        const Reading &r = readings[i];
        fprintf(out,
                "    {\"name\": %s, \"type\": \"%s\", \"result\": %s, \"code\": %d, \"value\": %s, "
                "\"output\": %s}%s\n",
                jsonString(r.name).c_str(), r.type, jsonString(resultText(r.result)).c_str(),
                r.result, jsonValue(r).c_str(), jsonLines(r.output).c_str(),
                i + 1 < readings.size() ? "," : "");
    }
    fprintf(out, "  ]\n}\n");
}
