// The 49 properties of the interface: name, value type and the provider's
// getter, in the catalogue's order. The one list of them: the library's
// catalogue, velquar-props and the benchmarks' baseline are built from it.
// Adding a property means a row here, its getter and its documentation.
//
// The names are the interface with the application, spelled exactly, case
// included. Getter names are not derived from property names.
#ifndef VELQUAR_PROPERTY_LIST_H
#define VELQUAR_PROPERTY_LIST_H

#include <cstddef>

// X(name, type, getter), type one of Bool, Int, LongLong, String.
#define VELQUAR_PROPERTY_LIST(X)                                                     \
    X("manufacturer", String, getManufacturer)                                       \
    X("firmwareVersion", String, getFirmwareVersion)                                 \
    X("osName", String, getOsName)                                                   \
    X("osVersion", String, getOsVersion)                                             \
    X("chipset", String, getChipset)                                                 \
    X("modelName", String, getModelName)                                             \
    X("platformPackageVersion", String, getPlatformPackageVersion)                   \
    X("deviceMode", Int, getDeviceMode)                                              \
    X("supportsUHD", Bool, supportsUHD)                                              \
    X("supportsHEVC", Bool, supportsHEVC)                                            \
    X("supportsHDR", Bool, supportsHDR)                                              \
    X("supportsOLED", Bool, supportsOLED)                                            \
    X("hasPlatformVideoNode", Bool, hasPlatformVideoNode)                            \
    X("supportsAudioCodecSwitching", Bool, supportsAudioCodecSwitching)              \
    X("hasExternalOutput", Bool, hasExternalOutput)                                  \
    X("supportsHDCP", Bool, supportsHDCP)                                            \
    X("hdcpFullVersion", String, getHDCPFullVersion)                                 \
    X("hdcpMajorVersion", Int, getHDCPMajorVersion)                                  \
    X("hdcpMinorVersion", Int, getHDCPMinorVersion)                                  \
    X("displayWidth", Int, getDisplayWidth)                                          \
    X("displayHeight", Int, getDisplayHeight)                                        \
    X("panelWidth", Int, getPanelWidth)                                              \
    X("panelHeight", Int, getPanelHeight)                                            \
    X("deviceLanguage", String, getDeviceLanguage)                                   \
    X("supportsHEVC10Bits", Bool, supportsHEVC10Bits)                                \
    X("hdrFlags", Int, getHDRFlags)                                                  \
    X("dolbyDigitalAudioPassthroughOnly", Bool, getDolbyDigitalAudioPassthroughOnly) \
    X("supportsSurroundSound", Bool, supportsSurroundSound)                          \
    X("supportsDASH", Bool, supportsDASH)                                            \
    X("supportsCVBR", Bool, supportsCVBR)                                            \
    X("supportsCompressedContentEncoding", Bool, supportsCompressedContentEncoding)  \
    X("supportsHexEncodedManifest", Bool, supportsHexEncodedManifest)                \
    X("supportsIntraChunkSeeking", Bool, supportsIntraChunkSeeking)                  \
    X("WiFiNetworkConnection", Bool, getWiFiNetworkConnection)                       \
    X("networkConnectionStrength", Int, getNetworkConnectionStrength)                \
    X("deviceId", String, getDeviceId)                                               \
    X("fragmentCacheSize", Int, getFragmentCacheSize)                                \
    X("updateFrequency", Int, getUpdateFrequency)                                    \
    X("totalMemory", LongLong, getTotalMemory)                                       \
    X("availableMemory", LongLong, getAvailableMemory)                               \
    X("deviceTypeId", String, getDeviceTypeId)                                       \
    X("httpProxyHost", String, getHttpProxyHost)                                     \
    X("httpProxyPort", Int, getHttpProxyPort)                                        \
    X("httpProxyUsername", String, getHttpProxyUsername)                             \
    X("httpProxyPassword", String, getHttpProxyPassword)                             \
    X("fragmentCacheMountPoint", String, getFragmentCacheMountPoint)                 \
    X("bandwidthEstimateFilePath", String, getBandwidthEstimateFilePath)             \
    X("CADirectoryPath", String, getCADirectoryPath)                                 \
    X("CABundleFileName", String, getCABundleFileName)

namespace velquar {

// A property's value type, as its tag: bool 1, int (32-bit) 2, long long
// (64-bit) 3, string 4.
enum class PropertyType : int { Bool = 1, Int = 2, LongLong = 3, String = 4 };

struct PropertyName {
    const char *name;
    PropertyType type;
};

#define VELQUAR_PROPERTY_NAME(name, type, getter) PropertyName{name, PropertyType::type},
// The names and types alone, for code outside the library.
inline constexpr PropertyName kPropertyList[] = {VELQUAR_PROPERTY_LIST(VELQUAR_PROPERTY_NAME)};
#undef VELQUAR_PROPERTY_NAME

inline constexpr size_t kPropertyCount = sizeof kPropertyList / sizeof kPropertyList[0];
static_assert(kPropertyCount == 49, "the catalogue has 49 properties");

}  // namespace velquar

#endif
