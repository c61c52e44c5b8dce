#include <cstdio>

#include "json_string.h"
#include "property_list.h"
#include "render.h"

void printList(FILE *out, bool json) {
    if (!json) {
        for (const velquar::PropertyName &p : velquar::kPropertyList) {
            fprintf(out, "%-34s %s\n", p.name, typeName(p.type));
        }
        return;
    }
    JsonDocument doc(out);
    doc.beginArray("properties");
    for (const velquar::PropertyName &p : velquar::kPropertyList) {
        doc.element("{\"name\": " + jsonString(p.name) + ", \"type\": \"" + typeName(p.type) +
                    "\"}");
    }
    doc.endArray();
    doc.end();
}
