#include "calls.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "hex.h"
#include "platform_calls.h"
#include "printable.h"
#include "symbol.h"

using namespace velquar;
using velquar_sim::hex;

const char kAppIpc[] = "libAppIpc.so";
const char kMmPlayer[] = "libtevrin_mmplayer_ipc.so";

namespace {

// Bound as the dynamic linker binds the library's calls: the first
// definition in the process, so that a preloaded one is the one called.
template <typename F>
bool bind(const char *file, const char *symbol, F &fn) {
    return bindSymbol("velquar-capture", RTLD_DEFAULT, symbol, file, fn);
}

// One line on standard error per call, with its result.
void report(const char *call, int32_t rc, const std::string &more = std::string()) {
    fprintf(stderr, "velquar-capture: %s: %s%s\n", call, rc == 0 ? "ok" : "failed", more.c_str());
}

std::string failure(int32_t rc) {
    return " (code " + std::to_string(rc) + ")";
}

// The input source the way the library waits for it when a context is
// created, through the library's own wait (platform_calls.h). The answers are kept as a sequence,
// which the stand-in replays call by call.
void captureInputSource(const Platform &p, StateText &state) {
    uint32_t source = 0;
    std::vector<uint32_t> seen;
    int32_t rc = 0;
    waitForInputSource(source, [&](uint32_t &value) {
        rc = p.getInputSource(&value, 0);
        seen.push_back(value);
    });
    auto sequence = [&seen] {
        std::string text;
        for (size_t n = 0; n < seen.size(); ++n) {
            text += (n ? ", " : "") + std::to_string(seen[n]);
        }
        return text;
    };
    report("AppIpcApi_GetCurrentInputSource", rc,
           (rc ? failure(rc) : "") + ", " + std::to_string(seen.size()) +
               (seen.size() == 1 ? " call: " : " calls: ") + sequence());
    // The last answer repeats on replay, so repeats at the end say nothing.
    while (seen.size() > 1 && seen[seen.size() - 1] == seen[seen.size() - 2]) {
        seen.pop_back();
    }
    if (rc == 0 || seen.size() > 1 || seen[0] != kInputSourcePreset) {
        state.key("input_source", sequence());
    }
    state.result("input_source", rc);
}

// Initialise, get option 4, finalise, on a client that lives for the query.
void captureMediaPlayer(const Platform &p, StateText &state) {
    alignas(Tevrin_MM_PlayerInterface) unsigned char storage[sizeof(Tevrin_MM_PlayerInterface)];
    Tevrin_MM_PlayerInterface *client = reinterpret_cast<Tevrin_MM_PlayerInterface *>(storage);
    p.construct(client);
    int rc = p.initialize(client);
    report("MM_Initialize", rc, rc ? failure(rc) : "");
    state.result("mmplayer.initialize", rc);
    if (rc == 0) {
        TEVRIN_DECODER_OPTION option;
        presetDecoderOption(option);
        const TEVRIN_DECODER_OPTION preset = option;
        ST_MMPLAYER_PARAM param = decoderOptionParam(option);
        rc = p.getOption(client, &param);
        report("MM_GetOptionByPara", rc,
               rc ? failure(rc)
                  : ", decoder capability code " + std::to_string(option.u32DecoderCapability));
        state.result("mmplayer.get_option", rc);
        if (rc == 0 || memcmp(&option, &preset, sizeof option) != 0) {
            state.key("mmplayer.option.hex", hex(&option, sizeof option));
        }
        rc = p.finalize(client);
        report("MM_Finalize", rc, rc ? failure(rc) : "");
        state.result("mmplayer.finalize", rc);
    }
    p.destroy(client);
}

}  // namespace

bool loadPlatform(Platform &p) {
    if (!dlopen(kAppIpc, RTLD_NOW | RTLD_GLOBAL)) {
        fprintf(stderr, "velquar-capture: cannot load %s: %s\n", kAppIpc, dlerror());
        return false;
    }
    if (!dlopen(kMmPlayer, RTLD_NOW | RTLD_GLOBAL)) {
        fprintf(stderr, "velquar-capture: cannot load %s: %s\n", kMmPlayer, dlerror());
        return false;
    }
    return bind(kAppIpc, "AppIpcApi_GetHDCPVersion", p.getHdcpVersion) &&
           bind(kAppIpc, "AppIpcApi_GetCurrentInputSource", p.getInputSource) &&
           bind(kAppIpc, "AppIpcApi_QueryPlatformAllCapability", p.getCapability) &&
           bind(kAppIpc, "AppIpcApi_GetAudioCapability", p.getAudio) &&
           bind(kAppIpc, "AppIpcApi_GetCurrentMediumType", p.getMedium) &&
           bind(kAppIpc, "AppIpcApi_GetLanguage", p.getLanguage) &&
           bind(kAppIpc, "AppIpcApi_GetEthMacAddress", p.getMac) &&
           bind(kAppIpc, "AppIpcApi_GetProxy", p.getProxy) &&
           bind(kAppIpc, "AppIpcApi_GetCustomerIniSection", p.getCustomer) &&
           bind(kAppIpc, "AppIpcApi_GetAPPConfigFilePath", p.getConfigPath) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterfaceC1Ev", p.construct) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterfaceD1Ev", p.destroy) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterface13MM_InitializeEv", p.initialize) &&
           bind(kMmPlayer,
                "_ZN25Tevrin_MM_PlayerInterface18MM_GetOptionByParaEP17ST_MMPLAYER_PARAM",
                p.getOption) &&
           bind(kMmPlayer, "_ZN25Tevrin_MM_PlayerInterface11MM_FinalizeEv", p.finalize);
}

void captureCalls(const Platform &p, StateText &state, Findings &found) {
    int32_t hdcp = 0;
    int32_t rc = p.getHdcpVersion(&hdcp);
    report("AppIpcApi_GetHDCPVersion", rc, rc ? failure(rc) : ", " + std::to_string(hdcp));
    state.number("hdcp_version", rc, hdcp, 0);
    state.result("hdcp_version", rc);

    captureInputSource(p, state);

    APPIPC_PLATFORM_CAPABILITY capability;
    memset(&capability, 0, sizeof capability);
    rc = p.getCapability(&capability);
    report("AppIpcApi_QueryPlatformAllCapability", rc,
           rc ? failure(rc)
              : ", panel " + std::to_string(capability.panelWidth) + " x " +
                    std::to_string(capability.panelHeight));
    state.record("capability", rc, &capability, sizeof capability);
    state.result("capability", rc);

    captureMediaPlayer(p, state);

    APPIPC_AUDIO_CAPABILITY audio;
    memset(&audio, 0, sizeof audio);
    rc = p.getAudio(&audio);
    report("AppIpcApi_GetAudioCapability", rc, rc ? failure(rc) : "");
    state.record("audio", rc, &audio, sizeof audio);
    state.result("audio", rc);

    int32_t medium = 0;
    rc = p.getMedium(&medium);
    report("AppIpcApi_GetCurrentMediumType", rc, rc ? failure(rc) : ", " + std::to_string(medium));
    state.number("medium", rc, medium, 0);
    state.result("medium", rc);

    int32_t language = 0;
    rc = p.getLanguage(&language);
    report("AppIpcApi_GetLanguage", rc, rc ? failure(rc) : ", " + std::to_string(language));
    state.number("language", rc, language, 0);
    state.result("language", rc);

    uint8_t mac[APPIPC_MAC_SIZE] = {};
    rc = p.getMac(mac, APPIPC_MAC_SIZE);
    report("AppIpcApi_GetEthMacAddress", rc, rc ? failure(rc) : "");
    if (rc == 0 || !allZero(mac, sizeof mac)) {
        std::string text;
        for (size_t n = 0; n < sizeof mac; ++n) {
            text += (n ? ":" : "") + hex(mac + n, 1);
        }
        state.key("mac", text);
    }
    state.result("mac", rc);

    char proxy[APPIPC_PROXY_SIZE] = {};
    rc = p.getProxy(proxy, APPIPC_PROXY_SIZE);
    report("AppIpcApi_GetProxy", rc, rc ? failure(rc) : "");
    std::string proxyText;
    if (sayableText(proxy, sizeof proxy, proxyText)) {
        if (rc == 0 || !proxyText.empty()) {
            state.key("proxy", proxyText);
        }
    } else {
        state.key("proxy.hex", hex(proxy, sizeof proxy));
    }
    state.result("proxy", rc);

    std::vector<char> buffer(sizeof(APPIPC_CUSTOMER_RECORD));
    APPIPC_CUSTOMER_RECORD *customer = reinterpret_cast<APPIPC_CUSTOMER_RECORD *>(buffer.data());
    rc = p.getCustomer(kCustomerSection, customer);
    report("AppIpcApi_GetCustomerIniSection", rc, rc ? failure(rc) : "");
    const auto field = [&](const char *key, RecordField at) {
        state.text(key, rc, fieldOf(*customer, at), at.extent);
    };
    field("customer.model_name", kCustomerModelName);
    field("customer.manufacturer", kCustomerManufacturer);
    field("customer.chipset", kCustomerChipset);
    field("customer.firmware_version", kCustomerFirmwareVersion);
    state.result("customer", rc);
    if (rc == 0) {
        const char *version = fieldOf(*customer, kCustomerFirmwareVersion);
        found.firmwareVersion.assign(version, strnlen(version, kCustomerFirmwareVersion.extent));
    }

    std::vector<char> &path = found.configBuffer;
    rc = found.configResult = p.getConfigPath(kApplicationId, path.data());
    // The library takes at most all but the buffer's last byte.
    std::string taken(path.data(), strnlen(path.data(), path.size() - 1));
    report("AppIpcApi_GetAPPConfigFilePath", rc, rc ? failure(rc) : ", " + printable(taken));
    found.configFromService = rc == 0 && !taken.empty();
    found.configPath = found.configFromService ? taken : kDefaultConfigPath;
}
