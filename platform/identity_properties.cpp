// Device identity: the customer model record and the /config/sys.ini chain.
#include <iniparser.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app_ipc.h"
#include "decimal.h"
#include "ini_file.h"
#include "platform_calls.h"
#include "platform_device_properties_provider.h"
#include "velquar_platform.h"

namespace velquar {
namespace {

// A text field of the customer model record and the line that reports it
// missing.
struct CustomerField {
    RecordField field;
    const char *failureLine;
};

const CustomerField kModelName = {kCustomerModelName, "Failed to get model from customer ini"};
const CustomerField kManufacturer = {kCustomerManufacturer,
                                     "Failed to get manufacturer from customer ini"};
const CustomerField kChipset = {kCustomerChipset, "Failed to get chipset from customer ini"};
const CustomerField kFirmwareVersion = {kCustomerFirmwareVersion,
                                        "Failed to get firmware version from customer ini"};

// Fetches the whole "Model" record for one field. The record is cleared
// first, so a field the service leaves alone reads as empty and one it
// leaves without a NUL ends at the first byte it did not write, or where
// the extent does: never in stale bytes of the caller's stack.
int readCustomerField(const CustomerField &field, std::string &value) {
    APPIPC_CUSTOMER_RECORD record = {};
    const char *text = fieldOf(record, field.field);
    int32_t rc = AppIpcApi_GetCustomerIniSection(kCustomerSection, &record);
    if (rc != 0) {
        printf("AppIpcApi_GetCustomerIniSection() failed code:%d\n", rc);
        puts(field.failureLine);
        return PROPERTY_UNAVAILABLE;
    }
    if (text[0] == '\0') {
        puts(field.failureLine);
        return PROPERTY_UNAVAILABLE;
    }
    value.assign(text, strnlen(text, field.field.extent));
    return PROPERTY_OK;
}

struct DictionaryDeleter {
    void operator()(dictionary *d) const { iniparser_freedict(d); }
};

// One step of the OLED chain: the value of name in the INI file at path.
// The dictionary is freed before the step returns.
bool readChainStep(const char *path, const char *name, std::string &value) {
    std::unique_ptr<dictionary, DictionaryDeleter> ini(loadIniFile(path));
    if (!ini) {
        puts("iniparser_load failed");
        return false;
    }
    const char *text = iniparser_getstring(ini.get(), name, nullptr);
    if (!text) {
        puts("iniparser_getstring failed");
        return false;
    }
    value = text;
    return true;
}

}  // namespace

int PlatformDevicePropertiesProvider::getManufacturer(std::string &value) const {
    return readCustomerField(kManufacturer, value);
}

int PlatformDevicePropertiesProvider::getModelName(std::string &value) const {
    return readCustomerField(kModelName, value);
}

int PlatformDevicePropertiesProvider::getChipset(std::string &value) const {
    return readCustomerField(kChipset, value);
}

int PlatformDevicePropertiesProvider::getFirmwareVersion(std::string &value) const {
    return readCustomerField(kFirmwareVersion, value);
}

// /config/sys.ini names the model's INI file, that names the panel's, and
// the panel's holds the OLED flag. A panel file without the flag means no
// OLED; a broken link before it means the answer is unknown.
int PlatformDevicePropertiesProvider::supportsOLED(bool &value) const {
    std::string modelFile;
    if (!readChainStep(kSysIniPath, kModelFileKey, modelFile)) {
        return PROPERTY_UNAVAILABLE;
    }
    std::string panelFile;
    if (!readChainStep(modelFile.c_str(), kPanelFileKey, panelFile)) {
        return PROPERTY_UNAVAILABLE;
    }
    std::string flag;
    if (!readChainStep(panelFile.c_str(), kPanelOledKey, flag)) {
        value = false;
        return PROPERTY_OK;
    }
    const int number = decimalToInt(flag.c_str());
    if (number != 0 && number != 1) {
        printf("Wrong value for m_bPanelSupportsOLED intValue:%d\n", number);
        return PROPERTY_UNAVAILABLE;
    }
    value = number == 1;
    return PROPERTY_OK;
}

}  // namespace velquar
