// A properties library of a vendor's making, loaded by the inspector in the
// library's place: it says so on standard output when it is loaded and
// unloaded, as such libraries may, answers 3840 for every int32 read and
// refuses every int64 read as a bad argument.
// Built a second time with VELQUAR_STUB_CREATION_FAILS, whose context
// creation fails. With VELQUAR_STUB_EXIT set to "load", "create", "read",
// "release" or "unload" it ends the process with status 0 there, as a
// careless library may.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "velquar_platform.h"

namespace {

DevicePropertiesProviderContext *const kContext =
    reinterpret_cast<DevicePropertiesProviderContext *>(0x1000);

void exitAt(const char *step) {
    const char *at = getenv("VELQUAR_STUB_EXIT");
    if (at && strcmp(at, step) == 0) {
        exit(0);
    }
}

__attribute__((constructor)) void loaded() {
    exitAt("load");
    puts("stub library loaded");
}

__attribute__((destructor)) void unloaded() {
    exitAt("unload");
    puts("stub library unloaded");
}

}  // namespace

extern "C" {

VELQUAR_API int CreateDevicePropertiesProviderContext(DevicePropertiesProviderContext **context) {
#ifdef VELQUAR_STUB_CREATION_FAILS
    (void)context;
    return PROPERTY_UNAVAILABLE;
#else
    exitAt("create");
    puts("stub context created");
    *context = kContext;
    return PROPERTY_OK;
#endif
}

VELQUAR_API int ReleaseDevicePropertiesProviderContext(DevicePropertiesProviderContext *) {
    exitAt("release");
    puts("stub context released");
    return PROPERTY_OK;
}

// Every text is VELQUAR_STUB_TEXT, when it is set.
VELQUAR_API int GetStringProperty(DevicePropertiesProviderContext *, const char *, char *buffer,
                                  int *size) {
    const char *text = getenv("VELQUAR_STUB_TEXT");
    if (!text) {
        return PROPERTY_UNAVAILABLE;
    }
    const int needed = static_cast<int>(strlen(text)) + 1;
    if (*size < needed) {
        *size = needed;
        return PROPERTY_BUFFER_TOO_SMALL;
    }
    memcpy(buffer, text, static_cast<size_t>(needed));
    *size = needed;
    return PROPERTY_OK;
}

VELQUAR_API int GetBoolProperty(DevicePropertiesProviderContext *, const char *, bool *) {
    return PROPERTY_UNAVAILABLE;
}

VELQUAR_API int GetInt32Property(DevicePropertiesProviderContext *, const char *, int *value) {
    exitAt("read");
    *value = 3840;
    return PROPERTY_OK;
}

VELQUAR_API int GetInt64Property(DevicePropertiesProviderContext *, const char *, long long *) {
    return PROPERTY_INVALID_ARGUMENT;
}
}
