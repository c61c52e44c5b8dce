// Network client properties: HTTP proxy and certificate locations.
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {

int PlatformDevicePropertiesProvider::getHttpProxyHost(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getHttpProxyPort(int & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getHttpProxyUsername(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getHttpProxyPassword(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getCADirectoryPath(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getCABundleFileName(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

}  // namespace velquar
