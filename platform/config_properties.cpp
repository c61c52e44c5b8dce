// Properties read from the streaming application's configuration file.
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {

int PlatformDevicePropertiesProvider::getPlatformPackageVersion(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getDeviceMode(int & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getDeviceTypeId(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::supportsIntraChunkSeeking(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::supportsDASH(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::supportsCVBR(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::supportsSurroundSound(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::supportsAudioCodecSwitching(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::hasExternalOutput(bool & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getFragmentCacheSize(int & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getUpdateFrequency(int & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getFragmentCacheMountPoint(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getBandwidthEstimateFilePath(std::string & /*value*/) const {
    return PROPERTY_UNAVAILABLE;
}

}  // namespace velquar
