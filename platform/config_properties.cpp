// Properties read from the streaming application's configuration file.
//
// Each getter looks its key up in the configuration store, straight into the
// caller's out parameter; there are no built-in defaults, so a key that is
// absent or holds no value of its form makes the getter fail.
#include <cstdio>
#include <string>

#include "brennic_setting.h"
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {
namespace {

int answer(bool found, const std::string &key) {
    if (!found) {
        printf("Failed to get value for [%s] from ini\n", key.c_str());
        return PROPERTY_UNAVAILABLE;
    }
    return PROPERTY_OK;
}

int readBoolean(const char *name, bool &value) {
    const std::string key(name);
    return answer(BrennicSetting::Get().GetBoolean(key, value), key);
}

int readInt(const char *name, int &value) {
    const std::string key(name);
    return answer(BrennicSetting::Get().GetInt(key, value), key);
}

int readString(const char *name, std::string &value) {
    const std::string key(name);
    return answer(BrennicSetting::Get().GetString(key, value), key);
}

}  // namespace

int PlatformDevicePropertiesProvider::getPlatformPackageVersion(std::string &value) const {
    return readString("Device:PlatformPackageVersion", value);
}

// "prod" is 0 and "dev" is 1, spelled exactly so; anything else is refused.
int PlatformDevicePropertiesProvider::getDeviceMode(int &value) const {
    std::string mode;
    int rc = readString("Device:DeviceMode", mode);
    if (rc != PROPERTY_OK) {
        return rc;
    }
    if (mode == "prod") {
        value = 0;
        return PROPERTY_OK;
    }
    if (mode == "dev") {
        value = 1;
        return PROPERTY_OK;
    }
    printf("Invalid setting for device mode, strDeviceMode:%s", mode.c_str());
    return PROPERTY_UNAVAILABLE;
}

int PlatformDevicePropertiesProvider::getDeviceTypeId(std::string &value) const {
    return readString("Device:DeviceTypeId", value);
}

int PlatformDevicePropertiesProvider::supportsIntraChunkSeeking(bool &value) const {
    return readBoolean("PlaybackEncoding:supportsIntraChunkSeeking", value);
}

int PlatformDevicePropertiesProvider::supportsDASH(bool &value) const {
    return readBoolean("PlaybackEncoding:supportsDASH", value);
}

int PlatformDevicePropertiesProvider::supportsCVBR(bool &value) const {
    return readBoolean("PlaybackEncoding:supportsCVBR", value);
}

// The key is "supportsSurround", not named like the property.
int PlatformDevicePropertiesProvider::supportsSurroundSound(bool &value) const {
    return readBoolean("PlaybackEncoding:supportsSurround", value);
}

int PlatformDevicePropertiesProvider::supportsAudioCodecSwitching(bool &value) const {
    return readBoolean("PlaybackAudio:supportsAudioCodecSwitching", value);
}

int PlatformDevicePropertiesProvider::hasExternalOutput(bool &value) const {
    return readBoolean("PlaybackExternalOutput:hasExternalOutput", value);
}

int PlatformDevicePropertiesProvider::getFragmentCacheSize(int &value) const {
    return readInt("PlaybackMisc:FragmentCacheSize", value);
}

int PlatformDevicePropertiesProvider::getUpdateFrequency(int &value) const {
    return readInt("PlaybackMisc:UpdateFrequency", value);
}

int PlatformDevicePropertiesProvider::getFragmentCacheMountPoint(std::string &value) const {
    return readString("PlaybackMisc:FragmentCacheMountPoint", value);
}

int PlatformDevicePropertiesProvider::getBandwidthEstimateFilePath(std::string &value) const {
    return readString("Network:BandwidthEstimateFilePath", value);
}

}  // namespace velquar
