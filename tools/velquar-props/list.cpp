#include <cstdio>

#include "json_string.h"
#include "property_list.h"
#include "render.h"

void printList(FILE *out, bool json) {
    const size_t count = velquar::kPropertyCount;
    if (json) {
        fprintf(out, "{\n  \"properties\": [\n");
    }
    for (size_t i = 0; i < count; ++i) {
        const velquar::PropertyName &p = velquar::kPropertyList[i];
        if (json) {
            fprintf(out, "    {\"name\": %s, \"type\": \"%s\"}%s\n", jsonString(p.name).c_str(),
                    typeName(p.type), i + 1 < count ? "," : "");
        } else {
            fprintf(out, "%-34s %s\n", p.name, typeName(p.type));
        }
    }
    if (json) {
        fprintf(out, "  ]\n}\n");
    }
}
