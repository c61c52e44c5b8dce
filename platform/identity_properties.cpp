// Device identity: the customer model record and the /config/sys.ini chain.
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {

int PlatformDevicePropertiesProvider::getManufacturer(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getModelName(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getChipset(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getFirmwareVersion(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::supportsOLED(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

}  // namespace velquar
