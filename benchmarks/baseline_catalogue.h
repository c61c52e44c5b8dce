// The baselines' stand-in for the library's catalogue: the same 49 names in
// a std::map<std::string, X>, X the size of the library's PropertyEntry (a
// type tag and a member-function pointer). The library's own catalogue is
// internal; bench_main.cpp checks at start-up that these names and tags are
// still the library's.
#ifndef VELQUAR_BASELINE_CATALOGUE_H
#define VELQUAR_BASELINE_CATALOGUE_H

#include <map>
#include <string>
#include <utility>

namespace velquar_bench {

class AnyProvider;

struct BaselineEntry {
    int type;  // bool 1, int 2, long long 3, string 4
    void (AnyProvider::*getter)();
};

using BaselineCatalogue = std::map<std::string, BaselineEntry>;

struct NamedType {
    const char *name;
    int type;
};

// In the library's insertion order.
constexpr NamedType kProperties[] = {
    {"manufacturer", 4},
    {"firmwareVersion", 4},
    {"osName", 4},
    {"osVersion", 4},
    {"chipset", 4},
    {"modelName", 4},
    {"platformPackageVersion", 4},
    {"deviceMode", 2},
    {"supportsUHD", 1},
    {"supportsHEVC", 1},
    {"supportsHDR", 1},
    {"supportsOLED", 1},
    {"hasPlatformVideoNode", 1},
    {"supportsAudioCodecSwitching", 1},
    {"hasExternalOutput", 1},
    {"supportsHDCP", 1},
    {"hdcpFullVersion", 4},
    {"hdcpMajorVersion", 2},
    {"hdcpMinorVersion", 2},
    {"displayWidth", 2},
    {"displayHeight", 2},
    {"panelWidth", 2},
    {"panelHeight", 2},
    {"deviceLanguage", 4},
    {"supportsHEVC10Bits", 1},
    {"hdrFlags", 2},
    {"dolbyDigitalAudioPassthroughOnly", 1},
    {"supportsSurroundSound", 1},
    {"supportsDASH", 1},
    {"supportsCVBR", 1},
    {"supportsCompressedContentEncoding", 1},
    {"supportsHexEncodedManifest", 1},
    {"supportsIntraChunkSeeking", 1},
    {"WiFiNetworkConnection", 1},
    {"networkConnectionStrength", 2},
    {"deviceId", 4},
    {"fragmentCacheSize", 2},
    {"updateFrequency", 2},
    {"totalMemory", 3},
    {"availableMemory", 3},
    {"deviceTypeId", 4},
    {"httpProxyHost", 4},
    {"httpProxyPort", 2},
    {"httpProxyUsername", 4},
    {"httpProxyPassword", 4},
    {"fragmentCacheMountPoint", 4},
    {"bandwidthEstimateFilePath", 4},
    {"CADirectoryPath", 4},
    {"CABundleFileName", 4},
};
static_assert(sizeof kProperties / sizeof kProperties[0] == 49, "the catalogue has 49 names");

}  // namespace velquar_bench

#endif
