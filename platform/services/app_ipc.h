// Application IPC service of the television (libAppIpc.so).
//
// The vendor's library and the project's stand-in both implement these
// declarations; the linker sees only the C names and the record layouts, so
// either can be dropped in without rebuilding the callers.
#ifndef VELQUAR_SERVICES_APP_IPC_H
#define VELQUAR_SERVICES_APP_IPC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Platform capability record, 16 bytes, filled by the service.
typedef struct {
    uint32_t panelWidth;   // 0: pixels
    uint32_t panelHeight;  // 4: pixels
    uint8_t hdrFlag1;      // 8: first HDR kind
    uint8_t hdrFlag2;      // 9: second HDR kind
    uint8_t reserved10;    // 10: the service's own
    uint8_t hevc;          // 11: HEVC decoding supported
    uint8_t reserved12;    // 12: the service's own
} APPIPC_PLATFORM_CAPABILITY;

// Audio capability record, 24 bytes; only the passthrough byte is used.
typedef struct {
    uint8_t reserved0[8];
    uint8_t passthrough;  // 8: 0 when the output is Dolby Digital passthrough only
    uint8_t reserved9[15];
} APPIPC_AUDIO_CAPABILITY;

// Customer model record, 4096 bytes: four text fields at fixed offsets.
typedef struct {
    char modelName[768];         // 0
    char manufacturer[1280];     // 768
    char chipset[1024];          // 2048
    char firmwareVersion[1024];  // 3072
} APPIPC_CUSTOMER_RECORD;

#define APPIPC_CONFIG_PATH_SIZE 4096
#define APPIPC_PROXY_SIZE 32
#define APPIPC_MAC_SIZE 6

// All calls return 0 on success, any other value is the service's error code.
__attribute__((visibility("default"))) int32_t AppIpcApi_GetHDCPVersion(int32_t *version);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetCurrentInputSource(uint32_t *source,
                                                                               int32_t reserved);
__attribute__((visibility("default"))) int32_t AppIpcApi_QueryPlatformAllCapability(
    APPIPC_PLATFORM_CAPABILITY *capability);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetAudioCapability(
    APPIPC_AUDIO_CAPABILITY *capability);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetCurrentMediumType(int32_t *medium);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetLanguage(int32_t *languageCode);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetEthMacAddress(uint8_t *mac,
                                                                          int32_t length);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetProxy(char *proxy, int32_t size);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetCustomerIniSection(
    const char *section, APPIPC_CUSTOMER_RECORD *record);
__attribute__((visibility("default"))) int32_t AppIpcApi_GetAPPConfigFilePath(int32_t applicationId,
                                                                              char *path);

#ifdef __cplusplus
}
#endif

// The layouts the vendor's library fills, checked on every machine built for.
#ifdef __cplusplus
#define VELQUAR_APPIPC_CHECK(condition, text) static_assert(condition, text)
#else
#define VELQUAR_APPIPC_CHECK(condition, text) _Static_assert(condition, text)
#endif
VELQUAR_APPIPC_CHECK(sizeof(APPIPC_PLATFORM_CAPABILITY) == 16, "capability record is 16 bytes");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, panelWidth) == 0, "width at 0");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, panelHeight) == 4, "height at 4");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, hdrFlag1) == 8, "first HDR flag at 8");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, hdrFlag2) == 9, "second HDR flag at 9");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, reserved10) == 10, "byte 10");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, hevc) == 11, "HEVC flag at 11");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_PLATFORM_CAPABILITY, reserved12) == 12, "byte 12");
VELQUAR_APPIPC_CHECK(sizeof(APPIPC_AUDIO_CAPABILITY) == 24, "audio record is 24 bytes");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_AUDIO_CAPABILITY, passthrough) == 8, "passthrough at 8");
VELQUAR_APPIPC_CHECK(sizeof(APPIPC_CUSTOMER_RECORD) == 4096, "customer record is 4096 bytes");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_CUSTOMER_RECORD, modelName) == 0, "model name at 0");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_CUSTOMER_RECORD, manufacturer) == 768, "manufacturer at 768");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_CUSTOMER_RECORD, chipset) == 2048, "chipset at 2048");
VELQUAR_APPIPC_CHECK(offsetof(APPIPC_CUSTOMER_RECORD, firmwareVersion) == 3072,
                     "firmware version at 3072");
#undef VELQUAR_APPIPC_CHECK

#endif
