#include "readings.h"

using velquar::PropertyType;

namespace {

Reading readAs(const Api &api, DevicePropertiesProviderContext *ctx, const char *name,
               PropertyType type) {
    Reading r{name, typeName(type), PROPERTY_OK, std::string(), {}};
    switch (type) {
        case PropertyType::Bool: {
            bool v = false;
            r.result = api.getBool(ctx, name, &v);
            r.value = v ? "true" : "false";
            break;
        }
        case PropertyType::Int: {
            int v = 0;
            r.result = api.getInt32(ctx, name, &v);
            r.value = std::to_string(v);
            break;
        }
        case PropertyType::LongLong: {
            long long v = 0;
            r.result = api.getInt64(ctx, name, &v);
            r.value = std::to_string(v);
            break;
        }
        case PropertyType::String: {
            // Start with room for most values; grow once to the size reported.
            std::vector<char> buf(256);
            int size = static_cast<int>(buf.size());
            r.result = api.getString(ctx, name, buf.data(), &size);
            if (r.result == PROPERTY_BUFFER_TOO_SMALL && size > 0) {
                buf.resize(static_cast<size_t>(size));
                r.result = api.getString(ctx, name, buf.data(), &size);
            }
            if (r.result == PROPERTY_OK) {
                r.value.assign(buf.data());
            }
            break;
        }
    }
    if (r.result != PROPERTY_OK) {
        r.value.clear();
    }
    return r;
}

// A name outside the known list is read with each function in turn until
// the library names a type; it then reports what the library said.
Reading readUnknown(const Api &api, DevicePropertiesProviderContext *ctx, const char *name) {
    Reading r{name, "?", PROPERTY_NOT_FOUND, std::string(), {}};
    for (PropertyType t :
         {PropertyType::String, PropertyType::Bool, PropertyType::Int, PropertyType::LongLong}) {
        r = readAs(api, ctx, name, t);
        if (r.result == PROPERTY_NOT_FOUND) {
            r.type = "-";
        }
        if (r.result != PROPERTY_TYPE_MISMATCH) {
            return r;
        }
    }
    return r;
}

}  // namespace

Reading readProperty(const Api &api, DevicePropertiesProviderContext *ctx, const char *name,
                     const velquar::PropertyName *known) {
    return known ? readAs(api, ctx, name, known->type) : readUnknown(api, ctx, name);
}
