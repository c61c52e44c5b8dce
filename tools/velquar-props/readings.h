// A reading: one property read with the function of its type, as the
// renderers show it.
#ifndef VELQUAR_PROPS_READINGS_H
#define VELQUAR_PROPS_READINGS_H

#include <string>
#include <vector>

#include "library.h"
#include "property_list.h"

struct Reading {
    std::string name;
    const char *type;  // "bool", "int32", "int64", "string"; "-" unknown, "?" unread
    int result;
    std::string value;                // as text; quoted separately for JSON strings
    std::vector<std::string> output;  // what the library printed meanwhile
};

// Reads a property: with the function of its type when it is known (in the
// property list), otherwise with each in turn until the library names its
// type.
Reading readProperty(const Api &api, DevicePropertiesProviderContext *ctx, const char *name,
                     const velquar::PropertyName *known);

// The names (names.cpp). The inspector's word for a value type: "bool", "int32", "int64", "string".
const char *typeName(velquar::PropertyType t);

// A result code's name ("OK", "PROPERTY_UNAVAILABLE"...), or its hex.
std::string resultText(int rc);

#endif
