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

void printJson(const std::vector<std::string> &output, const std::vector<Reading> &readings) {
    printf("{\n  \"output\": %s,\n  \"properties\": [\n", jsonLines(output).c_str());
    for (size_t i = 0; i < readings.size(); ++i) {
        const Reading &r = readings[i];
        printf(
            "    {\"name\": %s, \"type\": \"%s\", \"result\": %s, \"code\": %d, \"value\": %s, "
            "\"output\": %s}%s\n",
            jsonString(r.name).c_str(), r.type, jsonString(resultText(r.result)).c_str(), r.result,
            jsonValue(r).c_str(), jsonLines(r.output).c_str(), i + 1 < readings.size() ? "," : "");
    }
    printf("  ]\n}\n");
}
