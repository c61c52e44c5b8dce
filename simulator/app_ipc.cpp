// Stand-in for the television's application IPC service (libAppIpc.so).
//
// Default device: a 4K HDR television on a wired network, HDCP 2.2, the
// expected input source at once. Every value and result code can be
// overridden through the state file; velquar-state(5) has the keys.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app_ipc.h"
#include "sim_state.h"

using velquar_sim::State;

namespace {

// The sample configuration shipped with the project, found relative to this
// library so that it works in the build tree and after installation; named
// without "..", the same however the library was found.
std::string defaultConfigPath() {
    Dl_info info;
    std::string dir = ".";
    if (dladdr(reinterpret_cast<void *>(&AppIpcApi_GetAPPConfigFilePath), &info) &&
        info.dli_fname) {
        dir = info.dli_fname;
        size_t slash = dir.rfind('/');
        dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    }
    // Where the install put it, or else where the build tree holds it.
    std::string path = dir + "/" VELQUAR_SIM_CONFIG_FROM_LIBDIR;
    for (const std::string &candidate : {path, dir + "/" VELQUAR_SIM_CONFIG_IN_BUILD_TREE}) {
        char *resolved = realpath(candidate.c_str(), nullptr);
        if (resolved) {
            path = resolved;
            free(resolved);
            break;
        }
    }
    return path;
}

// A relative configuration path names a file beside the state file, so that
// a recorded television and its configuration move together.
std::string besideStateFile(const std::string &path) {
    const char *state = getenv("VELQUAR_SIM_STATE");
    if (path.empty() || path[0] == '/' || !state || !*state) {
        return path;
    }
    std::string dir = state;
    size_t slash = dir.rfind('/');
    return slash == std::string::npos ? path : dir.substr(0, slash + 1) + path;
}

uint8_t byteValue(const State &s, const char *key, long long fallback) {
    return static_cast<uint8_t>(s.number(key, fallback));
}

// Writes the bytes of a hex key over the start of a record; false, and
// nothing written, when the state does not name the key or its text is not
// 1 to size bytes of hex.
bool writeHex(const State &s, const std::string &key, void *record, size_t size) {
    unsigned char *bytes = static_cast<unsigned char *>(record);
    return velquar_sim::parseHexUpTo(s.text(key, ""), bytes, size) != 0;
}

// Writes one text field of the customer record: the text with its NUL, or
// the whole extent filled without one, or the text alone without its NUL,
// or raw bytes, or nothing at all. A failed call writes only the fields the
// state names.
void writeField(const State &s, int32_t ret, const std::string &name, const char *fallback,
                char *field, size_t extent) {
    std::string key = "customer." + name;
    bool named =
        s.has(key) || s.has(key + ".fill") || s.has(key + ".unterminated") || s.has(key + ".hex");
    if (s.number(key + ".unwritten", 0) != 0 || (ret != 0 && !named)) {
        return;
    }
    if (writeHex(s, key + ".hex", field, extent)) {
        return;
    }
    if (s.has(key + ".fill")) {
        std::string fill = s.text(key + ".fill", "X");
        memset(field, fill.empty() ? 'X' : fill[0], extent);
        return;
    }
    if (s.has(key + ".unterminated")) {
        std::string text = s.text(key + ".unterminated", "");
        memcpy(field, text.data(), text.size() < extent ? text.size() : extent);
        return;
    }
    std::string value = s.text(key, fallback);
    size_t n = value.size() < extent - 1 ? value.size() : extent - 1;
    memcpy(field, value.data(), n);
    field[n] = '\0';
}

}  // namespace

extern "C" {

int32_t AppIpcApi_GetHDCPVersion(int32_t *version) {
    State s = State::current();
    int32_t in = version ? *version : 0;
    int32_t ret = s.result("hdcp_version");
    if (version && s.writes("hdcp_version", ret)) {
        *version = static_cast<int32_t>(s.number("hdcp_version", 22));
    }
    velquar_sim::log("AppIpcApi_GetHDCPVersion version=%d -> ret=%d version=%d", in, ret,
                     version ? *version : 0);
    return ret;
}

int32_t AppIpcApi_GetCurrentInputSource(uint32_t *source, int32_t reserved) {
    State s = State::current();
    uint32_t in = source ? *source : 0;
    int32_t ret = s.result("input_source");
    if (source && s.writes("input_source", ret)) {
        *source = static_cast<uint32_t>(s.next("input_source", 34));
    }
    velquar_sim::log("AppIpcApi_GetCurrentInputSource source=%u reserved=%d -> ret=%d source=%u",
                     in, reserved, ret, source ? *source : 0);
    return ret;
}

int32_t AppIpcApi_QueryPlatformAllCapability(APPIPC_PLATFORM_CAPABILITY *capability) {
    State s = State::current();
    std::string in = capability ? velquar_sim::hex(capability, 13) : "null";
    int32_t ret = s.result("capability");
    if (capability && (ret == 0 || s.has("capability.hex")) &&
        !writeHex(s, "capability.hex", capability, sizeof *capability)) {
        capability->panelWidth = static_cast<uint32_t>(s.number("capability.panel_width", 3840));
        capability->panelHeight = static_cast<uint32_t>(s.number("capability.panel_height", 2160));
        capability->hdrFlag1 = byteValue(s, "capability.hdr_flag1", 1);
        capability->hdrFlag2 = byteValue(s, "capability.hdr_flag2", 1);
        capability->reserved10 = byteValue(s, "capability.byte10", 1);
        capability->hevc = byteValue(s, "capability.hevc", 1);
        capability->reserved12 = byteValue(s, "capability.byte12", 0);
    }
    velquar_sim::log("AppIpcApi_QueryPlatformAllCapability record=%s -> ret=%d", in.c_str(), ret);
    return ret;
}

int32_t AppIpcApi_GetAudioCapability(APPIPC_AUDIO_CAPABILITY *capability) {
    State s = State::current();
    int32_t ret = s.result("audio");
    if (capability && (s.writes("audio.passthrough", ret) || s.has("audio.hex")) &&
        !writeHex(s, "audio.hex", capability, sizeof *capability)) {
        memset(capability, 0, sizeof *capability);
        capability->passthrough = byteValue(s, "audio.passthrough", 1);
    }
    velquar_sim::log("AppIpcApi_GetAudioCapability -> ret=%d passthrough=%u", ret,
                     capability ? capability->passthrough : 0u);
    return ret;
}

int32_t AppIpcApi_GetCurrentMediumType(int32_t *medium) {
    State s = State::current();
    int32_t ret = s.result("medium");
    if (medium && s.writes("medium", ret)) {
        *medium = static_cast<int32_t>(s.number("medium", 1));
    }
    velquar_sim::log("AppIpcApi_GetCurrentMediumType -> ret=%d medium=%d", ret,
                     medium ? *medium : 0);
    return ret;
}

int32_t AppIpcApi_GetLanguage(int32_t *languageCode) {
    State s = State::current();
    int32_t ret = s.result("language");
    if (languageCode && s.writes("language", ret)) {
        *languageCode = static_cast<int32_t>(s.number("language", 6));
    }
    velquar_sim::log("AppIpcApi_GetLanguage -> ret=%d language=%d", ret,
                     languageCode ? *languageCode : 0);
    return ret;
}

int32_t AppIpcApi_GetEthMacAddress(uint8_t *mac, int32_t length) {
    State s = State::current();
    int32_t ret = s.result("mac");
    if (mac && length >= APPIPC_MAC_SIZE && s.writes("mac", ret)) {
        unsigned char bytes[APPIPC_MAC_SIZE] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
        velquar_sim::parseHex(s.text("mac", ""), bytes, sizeof bytes);
        memcpy(mac, bytes, sizeof bytes);
    }
    velquar_sim::log("AppIpcApi_GetEthMacAddress length=%d -> ret=%d mac=%s", length, ret,
                     mac && length >= APPIPC_MAC_SIZE ? velquar_sim::hex(mac, 6).c_str() : "-");
    return ret;
}

int32_t AppIpcApi_GetProxy(char *proxy, int32_t size) {
    State s = State::current();
    std::string in = proxy && size > 0 ? velquar_sim::hex(proxy, static_cast<size_t>(size)) : "-";
    int32_t ret = s.result("proxy");
    bool writes = s.writes("proxy", ret) || s.has("proxy.hex");
    if (proxy && size >= APPIPC_PROXY_SIZE && writes) {
        unsigned char raw[APPIPC_PROXY_SIZE];
        if (s.has("proxy.hex") && velquar_sim::parseHex(s.text("proxy.hex", ""), raw, sizeof raw)) {
            memcpy(proxy, raw, sizeof raw);
        } else {
            std::string text = s.text("proxy", "");
            strncpy(proxy, text.c_str(), APPIPC_PROXY_SIZE);
        }
    }
    velquar_sim::log("AppIpcApi_GetProxy size=%d buffer=%s -> ret=%d", size, in.c_str(), ret);
    return ret;
}

int32_t AppIpcApi_GetCustomerIniSection(const char *section, APPIPC_CUSTOMER_RECORD *record) {
    State s = State::current();
    int32_t ret = s.result("customer");
    if (record) {
        writeField(s, ret, "model_name", "OV-55U8", record->modelName, sizeof record->modelName);
        writeField(s, ret, "manufacturer", "Orvane", record->manufacturer,
                   sizeof record->manufacturer);
        writeField(s, ret, "chipset", "VQ-9A", record->chipset, sizeof record->chipset);
        writeField(s, ret, "firmware_version", "V8-T653T01-LF1V001", record->firmwareVersion,
                   sizeof record->firmwareVersion);
    }
    velquar_sim::log("AppIpcApi_GetCustomerIniSection section=%s -> ret=%d",
                     section ? section : "(null)", ret);
    return ret;
}

int32_t AppIpcApi_GetAPPConfigFilePath(int32_t applicationId, char *path) {
    State s = State::current();
    int32_t ret = s.result("config_path");
    bool named = s.has("config_path") || s.has("config_path.fill") || s.has("config_path.hex");
    if (path && (ret == 0 || named) &&
        !writeHex(s, "config_path.hex", path, APPIPC_CONFIG_PATH_SIZE)) {
        if (s.has("config_path.fill")) {
            std::string fill = s.text("config_path.fill", "X");
            memset(path, fill.empty() ? 'X' : fill[0], APPIPC_CONFIG_PATH_SIZE);
        } else {
            std::string value = besideStateFile(s.text("config_path", defaultConfigPath()));
            snprintf(path, APPIPC_CONFIG_PATH_SIZE, "%s", value.c_str());
        }
    }
    velquar_sim::log("AppIpcApi_GetAPPConfigFilePath applicationId=%d -> ret=%d", applicationId,
                     ret);
    return ret;
}

}  // extern "C"
