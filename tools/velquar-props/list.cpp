#include <cstdio>

#include "json_string.h"
#include "property_list.h"
#include "render.h"

void printList(bool json) {
    const size_t count = velquar::kPropertyCount;
    if (json) {
        printf("{\n  \"properties\": [\n");
    }
    for (size_t i = 0; i < count; ++i) {
        const velquar::PropertyName &p = velquar::kPropertyList[i];
        if (json) {
            printf("    {\"name\": %s, \"type\": \"%s\"}%s\n", jsonString(p.name).c_str(),
                   typeName(p.type), i + 1 < count ? "," : "");
        } else {
            printf("%-34s %s\n", p.name, typeName(p.type));
        }
    }
    if (json) {
        printf("  ]\n}\n");
    }
}
