// System properties from shell commands and the language service.
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {

int PlatformDevicePropertiesProvider::getOsName(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getOsVersion(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getTotalMemory(long long & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getAvailableMemory(long long & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getNetworkConnectionStrength(int & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getDeviceLanguage(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

}  // namespace velquar
