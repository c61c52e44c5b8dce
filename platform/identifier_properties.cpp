// The device identifier and the HDCP version text.
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {

int PlatformDevicePropertiesProvider::getDeviceId(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getHDCPFullVersion(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

}  // namespace velquar
