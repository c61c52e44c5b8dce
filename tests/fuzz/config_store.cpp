// The configuration store over arbitrary INI content: each input becomes the
// application's configuration file, loaded by a fresh store, and read with
// the 13 keys the properties use and with keys taken from the input.
#include <cctype>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "brennic_setting.h"
#include "fuzz_support.h"

using velquar::BrennicSetting;

namespace {

const char *const kKeys[] = {
    "Device:PlatformPackageVersion",
    "Device:DeviceMode",
    "Device:DeviceTypeId",
    "PlaybackEncoding:supportsIntraChunkSeeking",
    "PlaybackEncoding:supportsDASH",
    "PlaybackEncoding:supportsCVBR",
    "PlaybackEncoding:supportsSurround",
    "PlaybackAudio:supportsAudioCodecSwitching",
    "PlaybackExternalOutput:hasExternalOutput",
    "PlaybackMisc:FragmentCacheSize",
    "PlaybackMisc:UpdateFrequency",
    "PlaybackMisc:FragmentCacheMountPoint",
    "Network:BandwidthEstimateFilePath",
};
const size_t kMaxInputKeys = 64;

std::string g_configPath;

int silent(const char *, ...) {
    return 0;
}

std::string trim(const std::string &text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) {
        return std::string();
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// Look-up names the file may hold: "section:key" for every key= line under
// a [section] line, and the raw lines themselves.
std::vector<std::string> keysOf(const std::string &input) {
    std::vector<std::string> keys;
    std::string section;
    size_t start = 0;
    while (start < input.size() && keys.size() < kMaxInputKeys) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string line = trim(input.substr(start, end - start));
        start = end + 1;
        keys.push_back(line);
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string::npos) {
            section = trim(line.substr(1, line.find(']') - 1));
            keys.push_back(section);
        } else if (line.find('=') != std::string::npos) {
            keys.push_back(section + ":" + trim(line.substr(0, line.find('='))));
        }
    }
    return keys;
}

std::string lowered(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The three look-ups of one key agree with each other, leave their out
// argument alone when they fail, and ignore the letter case of the key.
void checkKey(BrennicSetting::BrennicSettingPrivate &store, const std::string &key) {
    std::string text = "sentinel";
    const bool isText = store.GetString(key, text);
    if (!isText) {
        FUZZ_CHECK(text == "sentinel");
    }
    FUZZ_CHECK(text.find('\0') == std::string::npos);

    bool asFalse = false;
    bool asTrue = true;
    const bool isBoolean = store.GetBoolean(key, asFalse);
    FUZZ_CHECK(store.GetBoolean(key, asTrue) == isBoolean);
    if (isBoolean) {
        FUZZ_CHECK(asFalse == asTrue);
    } else {
        FUZZ_CHECK(!asFalse && asTrue);
    }
    // A boolean is a value whose first letter is one of iniparser's.
    FUZZ_CHECK(isBoolean == (isText && !text.empty() && strchr("yYtT1nNfF0", text[0])));
    if (isBoolean) {
        FUZZ_CHECK(asTrue == (strchr("yYtT1", text[0]) != nullptr));
    }

    int number = -1;
    const bool isInt = store.GetInt(key, number);
    FUZZ_CHECK(!isInt || isText);
    FUZZ_CHECK(number == -1 || isInt);

    std::string other;
    FUZZ_CHECK(store.GetString(lowered(key), other) == isText);
    FUZZ_CHECK(!isText || other == text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const std::string dir = velquar_fuzz::makeTempDir("velquar-fuzz-config");
    g_configPath = dir + "/config.ini";
    const std::string statePath = dir + "/sim.state";
    // The simulated service names the input's file as the configuration.
    std::ofstream(statePath) << "config_path = " << g_configPath << "\n";
    setenv("VELQUAR_SIM_STATE", statePath.c_str(), 1);
    unsetenv("VELQUAR_SIM_LOG");
    // iniparser reports every syntax error on standard error.
    iniparser_set_error_callback(silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    velquar_fuzz::writeInput(g_configPath, data, size);

    BrennicSetting::BrennicSettingPrivate store;
    for (const char *key : kKeys) {
        checkKey(store, key);
    }
    for (const std::string &key : keysOf(std::string(reinterpret_cast<const char *>(data), size))) {
        checkKey(store, key);
    }
    return 0;
}
