// Stand-in for the television's media-player service client
// (libtevrin_mmplayer_ipc.so). The default device decodes HEVC 10-bit
// (decoder capability code 19).
#include <cstring>
#include <string>

#include "sim_state.h"
#include "tevrin_mm_player.h"

using velquar_sim::State;

namespace {
// Marks a client whose MM_Initialize succeeded, in the object's own storage.
const unsigned char kReady = 0xA5;
}  // namespace

Tevrin_MM_PlayerInterface::Tevrin_MM_PlayerInterface() : m_opaque() {
    velquar_sim::log("Tevrin_MM_PlayerInterface::Tevrin_MM_PlayerInterface");
}

Tevrin_MM_PlayerInterface::~Tevrin_MM_PlayerInterface() {
    velquar_sim::log("Tevrin_MM_PlayerInterface::~Tevrin_MM_PlayerInterface");
}

int Tevrin_MM_PlayerInterface::MM_Initialize() {
    int ret = State::current().result("mmplayer.initialize");
    m_opaque[0] = ret == 0 ? kReady : 0;
    velquar_sim::log("Tevrin_MM_PlayerInterface::MM_Initialize -> ret=%d", ret);
    return ret;
}

int Tevrin_MM_PlayerInterface::MM_GetOptionByPara(ST_MMPLAYER_PARAM *param) {
    State s = State::current();
    if (!param) {
        velquar_sim::log("Tevrin_MM_PlayerInterface::MM_GetOptionByPara param=null -> ret=-1");
        return -1;
    }
    // The record as passed; its padding (bytes 9 to 11) is not the caller's to
    // preset and is shown as "------".
    std::string before = "null";
    if (param->pOption) {
        const unsigned char *bytes = static_cast<const unsigned char *>(param->pOption);
        before = velquar_sim::hex(bytes, 9) + "------" + velquar_sim::hex(bytes + 12, 20);
    }
    int ret = s.result("mmplayer.get_option");
    bool usable = m_opaque[0] == kReady && param->pOption &&
                  param->u32Option == TEVRIN_OPTION_DECODER_CAPABILITY &&
                  param->u32OptionSize >= sizeof(TEVRIN_DECODER_OPTION);
    if (ret == 0 && !usable) {
        ret = -2;
    }
    // Raw bytes replace the whole record, also from a failing call.
    unsigned char raw[sizeof(TEVRIN_DECODER_OPTION)];
    bool hasRaw = velquar_sim::parseHex(s.text("mmplayer.option.hex", ""), raw, sizeof raw);
    if (hasRaw && param->pOption && param->u32OptionSize >= sizeof raw) {
        memcpy(param->pOption, raw, sizeof raw);
    } else if (ret == 0) {
        TEVRIN_DECODER_OPTION *option = static_cast<TEVRIN_DECODER_OPTION *>(param->pOption);
        option->u16Field4 = 1;
        option->u16Field6 = 1;
        option->u8Field8 = 1;
        option->u32DecoderCapability =
            static_cast<uint32_t>(s.number("mmplayer.decoder_capability", 19));
    }
    velquar_sim::log(
        "Tevrin_MM_PlayerInterface::MM_GetOptionByPara words=%u,%u,%u,%u,%u,%u option=%s "
        "-> ret=%d",
        param->u32Word0, param->u32Word1, param->u32Option, param->u32OptionSize, param->u32Word4,
        param->u32Word6, before.c_str(), ret);
    return ret;
}

int Tevrin_MM_PlayerInterface::MM_Finalize() {
    int ret = State::current().result("mmplayer.finalize");
    m_opaque[0] = 0;
    velquar_sim::log("Tevrin_MM_PlayerInterface::MM_Finalize -> ret=%d", ret);
    return ret;
}
