// The property catalogue: every name of the interface, its type and getter.
// The names are the interface with the application, spelled exactly.
#include <iterator>
#include <utility>

#include "platform_device_properties_provider.h"

namespace velquar {

void PlatformDevicePropertiesProvider::getEntries(PropertyCatalogue &catalogue) {
    using P = PlatformDevicePropertiesProvider;
    const std::pair<std::string, PropertyEntry> entries[] = {
        {"manufacturer", PropertyEntry(&P::getManufacturer)},
        {"firmwareVersion", PropertyEntry(&P::getFirmwareVersion)},
        {"osName", PropertyEntry(&P::getOsName)},
        {"osVersion", PropertyEntry(&P::getOsVersion)},
        {"chipset", PropertyEntry(&P::getChipset)},
        {"modelName", PropertyEntry(&P::getModelName)},
        {"platformPackageVersion", PropertyEntry(&P::getPlatformPackageVersion)},
        {"deviceMode", PropertyEntry(&P::getDeviceMode)},
        {"supportsUHD", PropertyEntry(&P::supportsUHD)},
        {"supportsHEVC", PropertyEntry(&P::supportsHEVC)},
        {"supportsHDR", PropertyEntry(&P::supportsHDR)},
        {"supportsOLED", PropertyEntry(&P::supportsOLED)},
        {"hasPlatformVideoNode", PropertyEntry(&P::hasPlatformVideoNode)},
        {"supportsAudioCodecSwitching", PropertyEntry(&P::supportsAudioCodecSwitching)},
        {"hasExternalOutput", PropertyEntry(&P::hasExternalOutput)},
        {"supportsHDCP", PropertyEntry(&P::supportsHDCP)},
        {"hdcpFullVersion", PropertyEntry(&P::getHDCPFullVersion)},
        {"hdcpMajorVersion", PropertyEntry(&P::getHDCPMajorVersion)},
        {"hdcpMinorVersion", PropertyEntry(&P::getHDCPMinorVersion)},
        {"displayWidth", PropertyEntry(&P::getDisplayWidth)},
        {"displayHeight", PropertyEntry(&P::getDisplayHeight)},
        {"panelWidth", PropertyEntry(&P::getPanelWidth)},
        {"panelHeight", PropertyEntry(&P::getPanelHeight)},
        {"deviceLanguage", PropertyEntry(&P::getDeviceLanguage)},
        {"supportsHEVC10Bits", PropertyEntry(&P::supportsHEVC10Bits)},
        {"hdrFlags", PropertyEntry(&P::getHDRFlags)},
        {"dolbyDigitalAudioPassthroughOnly",
         PropertyEntry(&P::getDolbyDigitalAudioPassthroughOnly)},
        {"supportsSurroundSound", PropertyEntry(&P::supportsSurroundSound)},
        {"supportsDASH", PropertyEntry(&P::supportsDASH)},
        {"supportsCVBR", PropertyEntry(&P::supportsCVBR)},
        {"supportsCompressedContentEncoding", PropertyEntry(&P::supportsCompressedContentEncoding)},
        {"supportsHexEncodedManifest", PropertyEntry(&P::supportsHexEncodedManifest)},
        {"supportsIntraChunkSeeking", PropertyEntry(&P::supportsIntraChunkSeeking)},
        {"WiFiNetworkConnection", PropertyEntry(&P::getWiFiNetworkConnection)},
        {"networkConnectionStrength", PropertyEntry(&P::getNetworkConnectionStrength)},
        {"deviceId", PropertyEntry(&P::getDeviceId)},
        {"fragmentCacheSize", PropertyEntry(&P::getFragmentCacheSize)},
        {"updateFrequency", PropertyEntry(&P::getUpdateFrequency)},
        {"totalMemory", PropertyEntry(&P::getTotalMemory)},
        {"availableMemory", PropertyEntry(&P::getAvailableMemory)},
        {"deviceTypeId", PropertyEntry(&P::getDeviceTypeId)},
        {"httpProxyHost", PropertyEntry(&P::getHttpProxyHost)},
        {"httpProxyPort", PropertyEntry(&P::getHttpProxyPort)},
        {"httpProxyUsername", PropertyEntry(&P::getHttpProxyUsername)},
        {"httpProxyPassword", PropertyEntry(&P::getHttpProxyPassword)},
        {"fragmentCacheMountPoint", PropertyEntry(&P::getFragmentCacheMountPoint)},
        {"bandwidthEstimateFilePath", PropertyEntry(&P::getBandwidthEstimateFilePath)},
        {"CADirectoryPath", PropertyEntry(&P::getCADirectoryPath)},
        {"CABundleFileName", PropertyEntry(&P::getCABundleFileName)},
    };
    static_assert(sizeof entries / sizeof entries[0] == 49, "the catalogue has 49 properties");
    catalogue.insert(std::begin(entries), std::end(entries));
}

}  // namespace velquar
