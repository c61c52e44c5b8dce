// The C boundary: thin forwarders with C linkage. Nothing thrown inside the
// library crosses it; the only exception the library raises is memory
// exhaustion, reported as PROPERTY_UNAVAILABLE. The unwinding of a cancelled
// thread is not an error and passes through: swallowing it would abort the
// process.
#include <cxxabi.h>

#include "device_properties_provider_adapter.h"
#include "velquar_platform.h"

using velquar::DevicePropertiesProviderAdapter;

namespace {

DevicePropertiesProviderAdapter *adapterOf(DevicePropertiesProviderContext *context) {
    return reinterpret_cast<DevicePropertiesProviderAdapter *>(context);
}

// The cancellation unwind carries no C++ object, so the reference its
// handler binds is null: the undefined-behaviour checker's null check is
// off here, and only here. Inlined into a caller, the handler would be
// checked as the caller is.
template <typename Call>
__attribute__((no_sanitize("null"), noinline)) int guarded(Call call) {
    try {
        return call();
    } catch (abi::__forced_unwind &) {
        throw;
    } catch (...) {
        return PROPERTY_UNAVAILABLE;
    }
}

template <typename T>
int readScalar(DevicePropertiesProviderContext *context, const char *name, T *value) {
    if (!context) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    return guarded([&] { return adapterOf(context)->getProperty(name, value); });
}

}  // namespace

extern "C" {

int CreateDevicePropertiesProviderContext(DevicePropertiesProviderContext **context) {
    return guarded([&] {
        DevicePropertiesProviderAdapter *adapter = nullptr;
        int rc = velquar::getDevicePropertiesProvider(context ? &adapter : nullptr);
        if (rc == PROPERTY_OK) {
            *context = reinterpret_cast<DevicePropertiesProviderContext *>(adapter);
        }
        return rc;
    });
}

int ReleaseDevicePropertiesProviderContext(DevicePropertiesProviderContext *context) {
    return velquar::releaseDevicePropertiesProvider(adapterOf(context));
}

int GetStringProperty(DevicePropertiesProviderContext *context, const char *name, char *value,
                      int *size) {
    if (!context) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    return guarded([&] { return adapterOf(context)->getProperty(name, value, size); });
}

int GetBoolProperty(DevicePropertiesProviderContext *context, const char *name, bool *value) {
    return readScalar(context, name, value);
}

int GetInt32Property(DevicePropertiesProviderContext *context, const char *name, int *value) {
    return readScalar(context, name, value);
}

int GetInt64Property(DevicePropertiesProviderContext *context, const char *name, long long *value) {
    return readScalar(context, name, value);
}

}  // extern "C"
