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

// The getters keep their keys as static strings, built on first use, so
// that a read allocates nothing for its key.
int readBoolean(const std::string &key, bool &value) {
    return answer(BrennicSetting::Get().GetBoolean(key, value), key);
}

int readInt(const std::string &key, int &value) {
    return answer(BrennicSetting::Get().GetInt(key, value), key);
}

int readString(const std::string &key, std::string &value) {
    return answer(BrennicSetting::Get().GetString(key, value), key);
}

}  // namespace

int PlatformDevicePropertiesProvider::getPlatformPackageVersion(std::string &value) const {
    static const std::string key("Device:PlatformPackageVersion");
    return readString(key, value);
}

// "prod" is 0 and "dev" is 1, spelled exactly so; anything else is refused.
int PlatformDevicePropertiesProvider::getDeviceMode(int &value) const {
    std::string mode;
    static const std::string key("Device:DeviceMode");
    int rc = readString(key, mode);
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
    static const std::string key("Device:DeviceTypeId");
    return readString(key, value);
}

int PlatformDevicePropertiesProvider::supportsIntraChunkSeeking(bool &value) const {
    static const std::string key("PlaybackEncoding:supportsIntraChunkSeeking");
    return readBoolean(key, value);
}

int PlatformDevicePropertiesProvider::supportsDASH(bool &value) const {
    static const std::string key("PlaybackEncoding:supportsDASH");
    return readBoolean(key, value);
}

int PlatformDevicePropertiesProvider::supportsCVBR(bool &value) const {
    static const std::string key("PlaybackEncoding:supportsCVBR");
    return readBoolean(key, value);
}

// The key is "supportsSurround", not named like the property.
int PlatformDevicePropertiesProvider::supportsSurroundSound(bool &value) const {
    static const std::string key("PlaybackEncoding:supportsSurround");
    return readBoolean(key, value);
}

int PlatformDevicePropertiesProvider::supportsAudioCodecSwitching(bool &value) const {
    static const std::string key("PlaybackAudio:supportsAudioCodecSwitching");
    return readBoolean(key, value);
}

int PlatformDevicePropertiesProvider::hasExternalOutput(bool &value) const {
    static const std::string key("PlaybackExternalOutput:hasExternalOutput");
    return readBoolean(key, value);
}

int PlatformDevicePropertiesProvider::getFragmentCacheSize(int &value) const {
    static const std::string key("PlaybackMisc:FragmentCacheSize");
    return readInt(key, value);
}

int PlatformDevicePropertiesProvider::getUpdateFrequency(int &value) const {
    static const std::string key("PlaybackMisc:UpdateFrequency");
    return readInt(key, value);
}

int PlatformDevicePropertiesProvider::getFragmentCacheMountPoint(std::string &value) const {
    static const std::string key("PlaybackMisc:FragmentCacheMountPoint");
    return readString(key, value);
}

int PlatformDevicePropertiesProvider::getBandwidthEstimateFilePath(std::string &value) const {
    static const std::string key("Network:BandwidthEstimateFilePath");
    return readString(key, value);
}

}  // namespace velquar
