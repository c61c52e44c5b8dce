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

// Seven 32-bit words on the 32-bit television; on a 64-bit machine the
// address is 64 bits wide and aligned, which moves the last two fields.
constexpr bool kTevrinNarrowPointers = sizeof(void *) == 4;
static_assert(offsetof(ST_MMPLAYER_PARAM, u32Word0) == 0, "word 0");
static_assert(offsetof(ST_MMPLAYER_PARAM, u32Word1) == 4, "word 1");
static_assert(offsetof(ST_MMPLAYER_PARAM, u32Option) == 8, "option at word 2");
static_assert(offsetof(ST_MMPLAYER_PARAM, u32OptionSize) == 12, "option size at word 3");
static_assert(offsetof(ST_MMPLAYER_PARAM, u32Word4) == 16, "word 4");
static_assert(offsetof(ST_MMPLAYER_PARAM, pOption) == (kTevrinNarrowPointers ? 20 : 24),
              "option address at word 5");
static_assert(offsetof(ST_MMPLAYER_PARAM, u32Word6) == (kTevrinNarrowPointers ? 24 : 32), "word 6");
static_assert(sizeof(ST_MMPLAYER_PARAM) == (kTevrinNarrowPointers ? 28 : 40),
              "seven words on the 32-bit television");

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
static_assert(offsetof(TEVRIN_DECODER_OPTION, u32Header) == 0, "header at byte 0");
static_assert(offsetof(TEVRIN_DECODER_OPTION, u16Field4) == 4, "field at byte 4");
static_assert(offsetof(TEVRIN_DECODER_OPTION, u16Field6) == 6, "field at byte 6");
static_assert(offsetof(TEVRIN_DECODER_OPTION, u8Field8) == 8, "field at byte 8");
static_assert(offsetof(TEVRIN_DECODER_OPTION, u32DecoderCapability) == 12,
              "decoder capability code at byte 12");
static_assert(offsetof(TEVRIN_DECODER_OPTION, u32Field16) == 16, "fields from byte 16");

#define TEVRIN_OPTION_DECODER_CAPABILITY 4u

#endif
