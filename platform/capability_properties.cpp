// The platform snapshot, fetched when a provider is constructed, and the
// capability properties that read it or ask the platform directly.
#include <curl/curl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app_ipc.h"
#include "cancellation.h"
#include "platform_calls.h"
#include "platform_device_properties_provider.h"
#include "tevrin_mm_player.h"
#include "velquar_platform.h"

namespace velquar {
namespace {

bool waitForExpectedInputSource() {
    uint32_t source = 0;
    if (waitForInputSource(source,
                           [](uint32_t &value) { AppIpcApi_GetCurrentInputSource(&value, 0); })) {
        return true;
    }
    printf("\n \x1b[1;33;40m Palomir: incorrect input source type(%u) \x1b[0m  \n", source);
    return false;
}

bool fetchCapability(APPIPC_PLATFORM_CAPABILITY &record) {
    memset(&record, 0, offsetof(APPIPC_PLATFORM_CAPABILITY, reserved12) + 1);
    if (!waitForExpectedInputSource()) {
        return false;
    }
    int32_t rc = AppIpcApi_QueryPlatformAllCapability(&record);
    if (rc != 0) {
        printf("AppIpcApi_QueryPlatformAllCapability() failed code:%d\n", rc);
        return false;
    }
    return true;
}

// Asks the media-player service for the decoder capability record through a
// client that lives only for this query.
bool fetchDecoderOption(TEVRIN_DECODER_OPTION &option) {
    presetDecoderOption(option);

    std::unique_ptr<Tevrin_MM_PlayerInterface> client(new (std::nothrow) Tevrin_MM_PlayerInterface);
    if (!client) {
        puts("Create Tevrin_MM_PlayerInterface failed");
        return false;
    }
    int rc = 0;
    {
        CancellationHeldOff held;
        if (client->MM_Initialize() != 0) {
            puts("MM_Initialize()) failed");
            return false;
        }
        ST_MMPLAYER_PARAM param = decoderOptionParam(option);
        rc = client->MM_GetOptionByPara(&param);
        if (rc != 0) {
            printf("MM_GetOptionByPara() failed err:%d\n", rc);
        }
        if (client->MM_Finalize() != 0) {
            puts("MM_Finalize() failed");
        }
    }
    client.reset();
    return rc == 0;
}

}  // namespace

PlatformDevicePropertiesProvider::PlatformDevicePropertiesProvider() {
    int32_t hdcpVersion = 0;
    int32_t rc = AppIpcApi_GetHDCPVersion(&hdcpVersion);
    if (rc != 0) {
        printf("AppIpcApi_GetHDCPVersion() failed err:%d\n", rc);
    }
    m_hdcpVersion = hdcpVersion;
    m_hasCapability = fetchCapability(m_capability);
    m_hasOption = fetchDecoderOption(m_option);
}

int PlatformDevicePropertiesProvider::supportsUHD(bool &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    value = m_capability.panelWidth >= 3840u && m_capability.panelHeight >= 2160u;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::supportsHEVC(bool &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    value = m_capability.hevc != 0;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::supportsHEVC10Bits(bool &value) const {
    if (!m_hasOption) {
        return PROPERTY_UNAVAILABLE;
    }
    // Capability codes 19 to 25 decode 10-bit HEVC, except 23.
    const uint32_t code = m_option.u32DecoderCapability;
    value = code >= 19 && code <= 25 && code != 23;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::supportsHDR(bool &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    value = m_capability.hdrFlag1 != 0 || m_capability.hdrFlag2 != 0;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getHDRFlags(int &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    value = m_capability.hdrFlag1 != 0 ? 2 : m_capability.hdrFlag2 != 0 ? 1 : 0;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::hasPlatformVideoNode(bool &value) const {
    value = true;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::supportsHDCP(bool &value) const {
    value = m_hdcpVersion != 0;
    return PROPERTY_OK;
}

// The service reports HDCP as major * 10 + minor.
int PlatformDevicePropertiesProvider::getHDCPMajorVersion(int &value) const {
    if (m_hdcpVersion == 0) {
        return PROPERTY_UNAVAILABLE;
    }
    value = m_hdcpVersion / 10;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getHDCPMinorVersion(int &value) const {
    if (m_hdcpVersion == 0) {
        return PROPERTY_UNAVAILABLE;
    }
    value = m_hdcpVersion % 10;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getPanelWidth(int &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    value = static_cast<int>(m_capability.panelWidth);
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getPanelHeight(int &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    value = static_cast<int>(m_capability.panelHeight);
    return PROPERTY_OK;
}

// The application lays out for at least 1920 x 1080 whatever the panel.
int PlatformDevicePropertiesProvider::getDisplayWidth(int &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    const int width = static_cast<int>(m_capability.panelWidth);
    value = width < 1920 ? 1920 : width;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getDisplayHeight(int &value) const {
    if (!m_hasCapability) {
        return PROPERTY_UNAVAILABLE;
    }
    const int height = static_cast<int>(m_capability.panelHeight);
    value = height < 1080 ? 1080 : height;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::supportsHexEncodedManifest(bool &value) const {
    value = true;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getDolbyDigitalAudioPassthroughOnly(bool &value) const {
    // Zeroed so that a service that reports success without writing is read
    // as a defined value rather than stack garbage.
    APPIPC_AUDIO_CAPABILITY audio = {};
    int32_t rc = AppIpcApi_GetAudioCapability(&audio);
    if (rc != 0) {
        printf("AppIpcApi_GetAudioCapability() failed err:%d\n", rc);
        return PROPERTY_UNAVAILABLE;
    }
    value = audio.passthrough == 0;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::supportsCompressedContentEncoding(bool &value) const {
    static_assert(CURLVERSION_FOURTH == 3, "the fourth version of the information record");
    const curl_version_info_data *info = curl_version_info(CURLVERSION_FOURTH);
    if (!info) {
        return PROPERTY_UNAVAILABLE;
    }
    value = info->libz_version != nullptr;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getWiFiNetworkConnection(bool &value) const {
    int32_t medium = 0;
    if (!currentMediumType(medium)) {
        return PROPERTY_UNAVAILABLE;
    }
    value = medium == kMediumWiFi;
    return PROPERTY_OK;
}

}  // namespace velquar
