#include <cstdio>

#include "readings.h"

using velquar::PropertyType;

namespace {

const char *resultName(int rc) {
    switch (rc) {
        case PROPERTY_OK:
            return "OK";
        case PROPERTY_NOT_FOUND:
            return "PROPERTY_NOT_FOUND";
        case PROPERTY_TYPE_MISMATCH:
            return "PROPERTY_TYPE_MISMATCH";
        case PROPERTY_INVALID_ARGUMENT:
            return "PROPERTY_INVALID_ARGUMENT";
        case PROPERTY_BUFFER_TOO_SMALL:
            return "PROPERTY_BUFFER_TOO_SMALL";
        case PROPERTY_UNAVAILABLE:
            return "PROPERTY_UNAVAILABLE";
        default:
            return nullptr;
    }
}

}  // namespace

const char *typeName(PropertyType t) {
    switch (t) {
        case PropertyType::Bool:
            return "bool";
        case PropertyType::Int:
            return "int32";
        case PropertyType::LongLong:
            return "int64";
        case PropertyType::String:
            return "string";
    }
    return "?";
}

std::string resultText(int rc) {
    const char *name = resultName(rc);
    if (name) {
        return name;
    }
    char buf[32];
    snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(rc));
    return buf;
}
