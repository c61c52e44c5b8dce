// The object behind a context: the provider plus the catalogue that maps
// each property name to its type and getter.
#ifndef VELQUAR_DEVICE_PROPERTIES_PROVIDER_ADAPTER_H
#define VELQUAR_DEVICE_PROPERTIES_PROVIDER_ADAPTER_H

#include <string>

#include "platform_device_properties_provider.h"

namespace velquar {

class DevicePropertiesProviderAdapter : public PlatformDevicePropertiesProvider {
public:
    DevicePropertiesProviderAdapter();
    ~DevicePropertiesProviderAdapter() = default;

    // Scalar reads: the getter writes *value directly.
    int getProperty(const char *name, bool *value) const;
    int getProperty(const char *name, int *value) const;
    int getProperty(const char *name, long long *value) const;
    // String read: *size is the capacity in, the needed size out.
    int getProperty(const char *name, char *value, int *size) const;

private:
    template <typename T>
    int readScalar(const char *name, T *value) const;
    // The entry of name when it exists and has type T's tag, else the code.
    template <typename T>
    int find(const char *name, const PropertyEntry *&entry) const;

    PropertyCatalogue m_catalogue;
};

// Creates a context in *out; see CreateDevicePropertiesProviderContext.
int getDevicePropertiesProvider(DevicePropertiesProviderAdapter **out);
// Destroys one; see ReleaseDevicePropertiesProviderContext.
int releaseDevicePropertiesProvider(DevicePropertiesProviderAdapter *adapter);

}  // namespace velquar

#endif
