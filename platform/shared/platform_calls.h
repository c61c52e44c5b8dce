// How the library asks the television's platform: what each call is passed
// and preset with, how long creation waits for the input source, and where
// the records and INI files keep what is read from them. velquar-capture
// asks the platform through the same description, so that what it records
// is what the library reads.
#ifndef VELQUAR_PLATFORM_CALLS_H
#define VELQUAR_PLATFORM_CALLS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "app_ipc.h"
#include "tevrin_mm_player.h"

namespace velquar {

// AppIpcApi_GetAPPConfigFilePath: the application's id, and the file loaded
// when the service names none.
constexpr int32_t kApplicationId = 5;
constexpr char kDefaultConfigPath[] = "/cusdata/applications/Orvane/config.ini";

// AppIpcApi_GetCustomerIniSection: the section asked for.
constexpr char kCustomerSection[] = "Model";

// One text field of the customer model record: where it starts and how far
// it may extend.
struct RecordField {
    size_t offset;
    size_t extent;
};

constexpr RecordField kCustomerModelName = {offsetof(APPIPC_CUSTOMER_RECORD, modelName),
                                            sizeof(APPIPC_CUSTOMER_RECORD::modelName)};
constexpr RecordField kCustomerManufacturer = {offsetof(APPIPC_CUSTOMER_RECORD, manufacturer),
                                               sizeof(APPIPC_CUSTOMER_RECORD::manufacturer)};
constexpr RecordField kCustomerChipset = {offsetof(APPIPC_CUSTOMER_RECORD, chipset),
                                          sizeof(APPIPC_CUSTOMER_RECORD::chipset)};
constexpr RecordField kCustomerFirmwareVersion = {offsetof(APPIPC_CUSTOMER_RECORD, firmwareVersion),
                                                  sizeof(APPIPC_CUSTOMER_RECORD::firmwareVersion)};

// The first byte of a field of the record.
inline const char *fieldOf(const APPIPC_CUSTOMER_RECORD &record, RecordField field) {
    return reinterpret_cast<const char *>(&record) + field.offset;
}

// AppIpcApi_GetCurrentInputSource: the value is preset before the first
// call; creation asks until it reads the expected source, at most so many
// times, and pauses between the tries (after the last failed one too).
constexpr uint32_t kInputSourcePreset = 45;
constexpr uint32_t kExpectedInputSource = 34;
constexpr int kInputSourceTries = 50;
constexpr long kInputSourceRetryNs = 200000000L;

// Sleeps until kInputSourceRetryNs after now. A signal the process handles
// only interrupts the sleep, which then resumes towards the same deadline,
// so every try keeps its full pause. Cancellable: a cancelled thread unwinds
// from here.
void pauseBetweenTries();

// The wait for the input source: ask(source) makes one call, which leaves
// the current input source in source. True once it is the expected one;
// false after kInputSourceTries calls and as many pauses.
template <typename Ask>
bool waitForInputSource(uint32_t &source, Ask ask) {
    source = kInputSourcePreset;
    for (int attempt = 0; attempt < kInputSourceTries; ++attempt) {
        ask(source);
        if (source == kExpectedInputSource) {
            return true;
        }
        pauseBetweenTries();
    }
    return false;
}

// AppIpcApi_GetCurrentMediumType: the media the getters tell apart.
constexpr int32_t kMediumNone = 0;
constexpr int32_t kMediumFullStrength = 1;  // wired: full strength
constexpr int32_t kMediumWiFi = 2;

// The current medium, for the getters that depend on it; false, after the
// line naming the failed call, when the service fails. Inline: only the
// library, which links the service, calls it.
inline bool currentMediumType(int32_t &medium) {
    medium = 0;
    const int32_t rc = AppIpcApi_GetCurrentMediumType(&medium);
    if (rc != 0) {
        printf("AppIpcApi_GetCurrentMediumType() failed err:%d\n", rc);
        return false;
    }
    return true;
}

// MM_GetOptionByPara: the decoder capability record, cleared with its
// header preset to the record's size, and the parameter that asks for it.
constexpr uint32_t kOptionHeader = 16;
void presetDecoderOption(TEVRIN_DECODER_OPTION &option);
ST_MMPLAYER_PARAM decoderOptionParam(TEVRIN_DECODER_OPTION &option);

// The OLED chain: /config/sys.ini names the model's INI file under one key,
// that names the panel's under the next, and the panel's holds the flag.
constexpr char kSysIniPath[] = "/config/sys.ini";
constexpr char kModelFileKey[] = "model:gModelName";
constexpr char kPanelFileKey[] = "panel:m_pPanelName";
constexpr char kPanelOledKey[] = "panel:m_bPanelSupportsOLED";

}  // namespace velquar

#endif
