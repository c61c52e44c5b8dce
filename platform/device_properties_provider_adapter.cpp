#include "device_properties_provider_adapter.h"

#include <cstring>
#include <new>
#include <string_view>

#include "velquar_platform.h"

namespace velquar {

DevicePropertiesProviderAdapter::DevicePropertiesProviderAdapter() {
    getEntries(m_catalogue);
}

template <typename T>
int DevicePropertiesProviderAdapter::find(const char *name, const PropertyEntry *&entry) const {
    // The exact, byte-wise name, searched without a copy: a name longer than
    // std::string's inline buffer would cost an allocation on every read.
    auto it = m_catalogue.find(std::string_view(name));
    if (it == m_catalogue.end()) {
        return PROPERTY_NOT_FOUND;
    }
    // The tag guards the conversion of the stored getter back to type T.
    if (it->second.getType() != PropertyEntry::getType<T>()) {
        return PROPERTY_TYPE_MISMATCH;
    }
    entry = &it->second;
    return PROPERTY_OK;
}

template <typename T>
int DevicePropertiesProviderAdapter::readScalar(const char *name, T *value) const {
    if (!value || !name) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    const PropertyEntry *entry = nullptr;
    int rc = find<T>(name, entry);
    if (rc != PROPERTY_OK) {
        return rc;
    }
    return (this->*entry->getter<T>())(*value);
}

int DevicePropertiesProviderAdapter::getProperty(const char *name, bool *value) const {
    return readScalar(name, value);
}

int DevicePropertiesProviderAdapter::getProperty(const char *name, int *value) const {
    return readScalar(name, value);
}

int DevicePropertiesProviderAdapter::getProperty(const char *name, long long *value) const {
    return readScalar(name, value);
}

int DevicePropertiesProviderAdapter::getProperty(const char *name, char *value, int *size) const {
    if (!size || !name) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    const PropertyEntry *entry = nullptr;
    int rc = find<std::string>(name, entry);
    if (rc != PROPERTY_OK) {
        return rc;
    }
    std::string text;
    rc = (this->*entry->getter<std::string>())(text);
    if (rc != PROPERTY_OK) {
        return rc;
    }
    // Values are short texts; one that does not fit an int can never fit a buffer.
    if (text.size() >= static_cast<size_t>(INT32_MAX)) {
        return PROPERTY_UNAVAILABLE;
    }
    const int capacity = *size;
    const int needed = static_cast<int>(text.size()) + 1;
    *size = needed;
    if (needed > capacity) {
        return PROPERTY_BUFFER_TOO_SMALL;
    }
    if (!value) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    // Bounded C-string copy: a NUL inside the value zero-fills the rest.
    strncpy(value, text.c_str(), static_cast<size_t>(needed));
    return PROPERTY_OK;
}

int getDevicePropertiesProvider(DevicePropertiesProviderAdapter **out) {
    if (!out) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    *out = new DevicePropertiesProviderAdapter();
    return PROPERTY_OK;
}

int releaseDevicePropertiesProvider(DevicePropertiesProviderAdapter *adapter) {
    if (!adapter) {
        return PROPERTY_INVALID_ARGUMENT;
    }
    delete adapter;
    return PROPERTY_OK;
}

}  // namespace velquar
