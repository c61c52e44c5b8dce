// The provider: one const getter per property of the catalogue.
//
// Each getter writes its out parameter and returns 0, or returns a non-zero
// result code (normally PROPERTY_UNAVAILABLE) and leaves it alone. The
// getters are grouped by where their values come from, one source file each.
#ifndef VELQUAR_PLATFORM_DEVICE_PROPERTIES_PROVIDER_H
#define VELQUAR_PLATFORM_DEVICE_PROPERTIES_PROVIDER_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app_ipc.h"
#include "property_entry.h"
#include "tevrin_mm_player.h"

namespace velquar {

// Names are ordered byte-wise as std::string orders them; std::less<> lets a
// read search with a view of the caller's name instead of building a copy.
using PropertyCatalogue = std::map<std::string, PropertyEntry, std::less<>>;

class PlatformDevicePropertiesProvider {
public:
    // Fetches this provider's platform snapshot; blocks up to about 10
    // seconds while the television settles on its input source. Never fails
    // for a platform reason: what could not be fetched stays absent.
    PlatformDevicePropertiesProvider();

    PlatformDevicePropertiesProvider(const PlatformDevicePropertiesProvider &) = delete;
    PlatformDevicePropertiesProvider &operator=(const PlatformDevicePropertiesProvider &) = delete;

    // Fills an empty catalogue with the 49 properties.
    static void getEntries(PropertyCatalogue &catalogue);

    // Platform snapshot and capability questions (capability_properties.cpp).
    int supportsUHD(bool &value) const;
    int supportsHEVC(bool &value) const;
    int supportsHEVC10Bits(bool &value) const;
    int supportsHDR(bool &value) const;
    int getHDRFlags(int &value) const;
    int hasPlatformVideoNode(bool &value) const;
    int supportsHDCP(bool &value) const;
    int getHDCPMajorVersion(int &value) const;
    int getHDCPMinorVersion(int &value) const;
    int getPanelWidth(int &value) const;
    int getPanelHeight(int &value) const;
    int getDisplayWidth(int &value) const;
    int getDisplayHeight(int &value) const;
    int supportsHexEncodedManifest(bool &value) const;
    int getDolbyDigitalAudioPassthroughOnly(bool &value) const;
    int supportsCompressedContentEncoding(bool &value) const;
    int getWiFiNetworkConnection(bool &value) const;

    // The application's configuration file (config_properties.cpp).
    int getPlatformPackageVersion(std::string &value) const;
    int getDeviceMode(int &value) const;
    int getDeviceTypeId(std::string &value) const;
    int supportsIntraChunkSeeking(bool &value) const;
    int supportsDASH(bool &value) const;
    int supportsCVBR(bool &value) const;
    int supportsSurroundSound(bool &value) const;
    int supportsAudioCodecSwitching(bool &value) const;
    int hasExternalOutput(bool &value) const;
    int getFragmentCacheSize(int &value) const;
    int getUpdateFrequency(int &value) const;
    int getFragmentCacheMountPoint(std::string &value) const;
    int getBandwidthEstimateFilePath(std::string &value) const;

    // The customer model record and the /config/sys.ini chain
    // (identity_properties.cpp).
    int getManufacturer(std::string &value) const;
    int getModelName(std::string &value) const;
    int getChipset(std::string &value) const;
    int getFirmwareVersion(std::string &value) const;
    int supportsOLED(bool &value) const;

    // Shell commands and the language service (system_properties.cpp).
    int getOsName(std::string &value) const;
    int getOsVersion(std::string &value) const;
    int getTotalMemory(long long &value) const;
    int getAvailableMemory(long long &value) const;
    int getNetworkConnectionStrength(int &value) const;
    int getDeviceLanguage(std::string &value) const;

    // Proxy and certificate locations (network_properties.cpp).
    int getHttpProxyHost(std::string &value) const;
    int getHttpProxyPort(int &value) const;
    int getHttpProxyUsername(std::string &value) const;
    int getHttpProxyPassword(std::string &value) const;
    int getCADirectoryPath(std::string &value) const;
    int getCABundleFileName(std::string &value) const;

    // Device identifier and HDCP version text (identifier_properties.cpp).
    int getDeviceId(std::string &value) const;
    int getHDCPFullVersion(std::string &value) const;

private:
    // The snapshot, written once by the constructor and only read after it:
    // each provider owns its own, so reads need no lock and no other
    // provider's creation or destruction touches them.
    int32_t m_hdcpVersion = 0;
    bool m_hasCapability = false;
    bool m_hasOption = false;
    APPIPC_PLATFORM_CAPABILITY m_capability = {};
    TEVRIN_DECODER_OPTION m_option = {};
};

}  // namespace velquar

#endif
