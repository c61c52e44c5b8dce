// The device identifier and the HDCP version text.
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "app_ipc.h"
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {

// The Ethernet MAC address as 12 lowercase hex digits, no separators.
int PlatformDevicePropertiesProvider::getDeviceId(std::string &value) const {
    uint8_t mac[APPIPC_MAC_SIZE] = {};
    int32_t rc = AppIpcApi_GetEthMacAddress(mac, APPIPC_MAC_SIZE);
    if (rc != 0) {
        printf("AppIpcApi_GetEthMacAddress() failed err:%d\n", rc);
        return PROPERTY_UNAVAILABLE;
    }
    std::ostringstream id;
    id << std::hex << std::setfill('0');
    for (uint8_t byte : mac) {
        id << std::setw(2) << static_cast<unsigned>(byte);
    }
    value = id.str();
    return PROPERTY_OK;
}

// "major.minor", both in decimal: 22 gives "2.2", 5 gives "0.5".
int PlatformDevicePropertiesProvider::getHDCPFullVersion(std::string &value) const {
    int major = 0;
    if (getHDCPMajorVersion(major) != PROPERTY_OK) {
        return PROPERTY_UNAVAILABLE;
    }
    int minor = 0;
    if (getHDCPMinorVersion(minor) != PROPERTY_OK) {
        return PROPERTY_UNAVAILABLE;
    }
    std::ostringstream version;
    version << major << "." << minor;
    value = version.str();
    return PROPERTY_OK;
}

}  // namespace velquar
