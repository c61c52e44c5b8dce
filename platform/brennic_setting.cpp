// The configuration store: path from the IPC service, one load with
// iniparser, typed look-ups that convert the stored text afresh each time.
#include "brennic_setting.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app_ipc.h"
#include "cancellation.h"
#include "ini_file.h"
#include "platform_calls.h"

namespace velquar {
namespace {

// The key's text, or null when the key is absent or names an entry without
// a value (a section, for instance "[PlaybackMisc:FragmentCacheSize]").
// iniparser's own integer and boolean look-ups dereference such a null
// value, so every look-up searches here, once, and converts the text the
// way those look-ups do.
const char *findValue(const dictionary *dict, const std::string &key) {
    return dict ? iniparser_getstring(dict, key.c_str(), nullptr) : nullptr;
}

}  // namespace

BrennicSetting &BrennicSetting::Get() {
    static BrennicSetting instance;
    return instance;
}

BrennicSetting::BrennicSetting() : m_pPrivate(new BrennicSettingPrivate) {}

BrennicSetting::~BrennicSetting() {
    m_pPrivate.reset();
}

bool BrennicSetting::GetBoolean(const std::string &key, bool &value) {
    return m_pPrivate && m_pPrivate->GetBoolean(key, value);
}

bool BrennicSetting::GetInt(const std::string &key, int &value) {
    return m_pPrivate && m_pPrivate->GetInt(key, value);
}

bool BrennicSetting::GetString(const std::string &key, std::string &value) {
    return m_pPrivate && m_pPrivate->GetString(key, value);
}

BrennicSetting::BrennicSettingPrivate::BrennicSettingPrivate() : m_pDict(nullptr) {
    // The one load of the process runs to its end: a cancellation meanwhile
    // would leave the standard output stream failed in the middle of the
    // announcement, for the whole application.
    CancellationHeldOff held;
    char buffer[APPIPC_CONFIG_PATH_SIZE] = {};
    std::string path;
    int32_t rc = AppIpcApi_GetAPPConfigFilePath(kApplicationId, buffer);
    if (rc != 0) {
        printf("AppIpcApi_GetAPPConfigFilePath() failed (code:%d) \n", rc);
    } else {
        // The service is not told the buffer's size and may fill all of it
        // without a terminating NUL; the last byte is never taken.
        path.assign(buffer, strnlen(buffer, sizeof buffer - 1));
    }
    if (path.empty()) {
        path = kDefaultConfigPath;
    }
    std::cout << "Orvane Palomir config path: " << path << std::endl;
    m_pDict = loadIniFile(path.c_str());
    if (!m_pDict) {
        std::cout << "BrennicSettingPrivate"
                  << " Failed to load " << path << std::endl;
    }
}

BrennicSetting::BrennicSettingPrivate::~BrennicSettingPrivate() {
    if (m_pDict) {
        iniparser_freedict(m_pDict);
        m_pDict = nullptr;
    }
}

bool BrennicSetting::BrennicSettingPrivate::GetBoolean(const std::string &key, bool &value) {
    const char *text = findValue(m_pDict, key);
    if (!text) {
        return false;
    }
    // iniparser_getboolean's reading of the text, without searching again.
    switch (text[0]) {
        case 'y':
        case 'Y':
        case 't':
        case 'T':
        case '1':
            value = true;
            return true;
        case 'n':
        case 'N':
        case 'f':
        case 'F':
        case '0':
            value = false;
            return true;
        default:
            return false;
    }
}

bool BrennicSetting::BrennicSettingPrivate::GetInt(const std::string &key, int &value) {
    const char *text = findValue(m_pDict, key);
    if (!text) {
        return false;
    }
    // iniparser_getint's conversion of the text, without searching again.
    const int result = static_cast<int>(strtol(text, nullptr, 0));
    if (result == -1) {
        return false;
    }
    value = result;
    return true;
}

bool BrennicSetting::BrennicSettingPrivate::GetString(const std::string &key, std::string &value) {
    const char *text = findValue(m_pDict, key);
    if (!text) {
        return false;
    }
    value = text;
    return true;
}

}  // namespace velquar
