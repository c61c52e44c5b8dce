// Media-player service client of the television (libtevrin_mmplayer_ipc.so).
//
// Declared exactly as the vendor declares it: the mangled names and the
// 64-byte object layout must match the vendor's library.
#ifndef VELQUAR_SERVICES_TEVRIN_MM_PLAYER_H
#define VELQUAR_SERVICES_TEVRIN_MM_PLAYER_H

#include <cstddef>
#include <cstdint>

struct ST_MMPLAYER_PARAM {
    uint32_t u32Word0;       // 0
    uint32_t u32Word1;       // 0
    uint32_t u32Option;      // option asked for
    uint32_t u32OptionSize;  // size in bytes of the option record
    uint32_t u32Word4;       // 0
    void *pOption;           // address of the option record
    uint32_t u32Word6;       // 0
};

class __attribute__((visibility("default"))) Tevrin_MM_PlayerInterface {
public:
    Tevrin_MM_PlayerInterface();
    virtual ~Tevrin_MM_PlayerInterface();
    int MM_Initialize();
    int MM_GetOptionByPara(ST_MMPLAYER_PARAM *param);
    int MM_Finalize();

private:
    unsigned char m_opaque[64 - sizeof(void *)];
};
static_assert(sizeof(Tevrin_MM_PlayerInterface) == 64, "the vendor's object is 64 bytes");

// Option 4: the decoder capability record, 32 bytes.
struct TEVRIN_DECODER_OPTION {
    uint32_t u32Header;             // 0: preset to 16 by the caller
    uint16_t u16Field4;             // 4
    uint16_t u16Field6;             // 6
    uint8_t u8Field8;               // 8
    uint32_t u32DecoderCapability;  // 12: decoder capability code
    uint32_t u32Field16[4];         // 16
};
static_assert(sizeof(TEVRIN_DECODER_OPTION) == 32, "option record is 32 bytes");
static_assert(offsetof(TEVRIN_DECODER_OPTION, u32DecoderCapability) == 12,
              "decoder capability code at byte 12");

#define TEVRIN_OPTION_DECODER_CAPABILITY 4u

#endif
