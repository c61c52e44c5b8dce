// GlobalPlatform TEE Client API v1.0: the part that the programs here use.
//
// The implementation-defined records carry OP-TEE's layout, so that OP-TEE's
// libteec.so and the project's stand-in can replace one another without a
// rebuild. The shared-memory functions are not declared; TEEC_SharedMemory
// appears only behind a pointer.
#ifndef VELQUAR_SERVICES_TEE_CLIENT_API_H
#define VELQUAR_SERVICES_TEE_CLIENT_API_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TEEC_CONFIG_PAYLOAD_REF_COUNT 4

typedef uint32_t TEEC_Result;

#define TEEC_SUCCESS 0x00000000
#define TEEC_ERROR_GENERIC 0xFFFF0000
#define TEEC_ERROR_ACCESS_DENIED 0xFFFF0001
#define TEEC_ERROR_CANCEL 0xFFFF0002
#define TEEC_ERROR_ACCESS_CONFLICT 0xFFFF0003
#define TEEC_ERROR_EXCESS_DATA 0xFFFF0004
#define TEEC_ERROR_BAD_FORMAT 0xFFFF0005
#define TEEC_ERROR_BAD_PARAMETERS 0xFFFF0006
#define TEEC_ERROR_BAD_STATE 0xFFFF0007
#define TEEC_ERROR_ITEM_NOT_FOUND 0xFFFF0008
#define TEEC_ERROR_NOT_IMPLEMENTED 0xFFFF0009
#define TEEC_ERROR_NOT_SUPPORTED 0xFFFF000A
#define TEEC_ERROR_NO_DATA 0xFFFF000B
#define TEEC_ERROR_OUT_OF_MEMORY 0xFFFF000C
#define TEEC_ERROR_BUSY 0xFFFF000D
#define TEEC_ERROR_COMMUNICATION 0xFFFF000E
#define TEEC_ERROR_SECURITY 0xFFFF000F
#define TEEC_ERROR_SHORT_BUFFER 0xFFFF0010

// Where a result came from (the returnOrigin out value).
#define TEEC_ORIGIN_API 0x00000001
#define TEEC_ORIGIN_COMMS 0x00000002
#define TEEC_ORIGIN_TEE 0x00000003
#define TEEC_ORIGIN_TRUSTED_APP 0x00000004

// Login methods for TEEC_OpenSession.
#define TEEC_LOGIN_PUBLIC 0x00000000
#define TEEC_LOGIN_USER 0x00000001
#define TEEC_LOGIN_GROUP 0x00000002
#define TEEC_LOGIN_APPLICATION 0x00000004

// Parameter types, four bits per parameter in TEEC_Operation.paramTypes.
#define TEEC_NONE 0x00000000
#define TEEC_VALUE_INPUT 0x00000001
#define TEEC_VALUE_OUTPUT 0x00000002
#define TEEC_VALUE_INOUT 0x00000003
#define TEEC_MEMREF_TEMP_INPUT 0x00000005
#define TEEC_MEMREF_TEMP_OUTPUT 0x00000006
#define TEEC_MEMREF_TEMP_INOUT 0x00000007
#define TEEC_MEMREF_WHOLE 0x0000000C
#define TEEC_MEMREF_PARTIAL_INPUT 0x0000000D
#define TEEC_MEMREF_PARTIAL_OUTPUT 0x0000000E
#define TEEC_MEMREF_PARTIAL_INOUT 0x0000000F

#define TEEC_PARAM_TYPES(p0, p1, p2, p3) ((p0) | ((p1) << 4) | ((p2) << 8) | ((p3) << 12))

typedef struct {
    uint32_t timeLow;
    uint16_t timeMid;
    uint16_t timeHiAndVersion;
    uint8_t clockSeqAndNode[8];
} TEEC_UUID;

typedef struct {
    struct {
        int fd;
        bool reg_mem;
        bool memref_null;
    } imp;
} TEEC_Context;

typedef struct {
    struct {
        TEEC_Context *ctx;
        uint32_t session_id;
    } imp;
} TEEC_Session;

typedef struct TEEC_SharedMemory TEEC_SharedMemory;

typedef struct {
    void *buffer;
    size_t size;
} TEEC_TempMemoryReference;

typedef struct {
    TEEC_SharedMemory *parent;
    size_t size;
    size_t offset;
} TEEC_RegisteredMemoryReference;

typedef struct {
    uint32_t a;
    uint32_t b;
} TEEC_Value;

typedef union {
    TEEC_TempMemoryReference tmpref;
    TEEC_RegisteredMemoryReference memref;
    TEEC_Value value;
} TEEC_Parameter;

typedef struct {
    uint32_t started;
    uint32_t paramTypes;
    TEEC_Parameter params[TEEC_CONFIG_PAYLOAD_REF_COUNT];
    struct {
        TEEC_Session *session;
    } imp;
} TEEC_Operation;

// name: the TEE to connect to, or NULL for the default one.
TEEC_Result TEEC_InitializeContext(const char *name, TEEC_Context *context);
void TEEC_FinalizeContext(TEEC_Context *context);
// operation may be NULL; returnOrigin may be NULL.
TEEC_Result TEEC_OpenSession(TEEC_Context *context, TEEC_Session *session,
                             const TEEC_UUID *destination, uint32_t connectionMethod,
                             const void *connectionData, TEEC_Operation *operation,
                             uint32_t *returnOrigin);
void TEEC_CloseSession(TEEC_Session *session);
TEEC_Result TEEC_InvokeCommand(TEEC_Session *session, uint32_t commandID, TEEC_Operation *operation,
                               uint32_t *returnOrigin);

#ifdef __cplusplus
}
#endif

// OP-TEE's libteec reads and writes these records: their layouts are checked
// on every machine built for, per pointer width where pointers are inside.
#ifdef __cplusplus
#define VELQUAR_TEEC_CHECK(condition, text) static_assert(condition, text)
#else
#define VELQUAR_TEEC_CHECK(condition, text) _Static_assert(condition, text)
#endif
#define VELQUAR_TEEC_BY_WIDTH(narrow, wide) (sizeof(void *) == 4 ? (narrow) : (wide))
VELQUAR_TEEC_CHECK(sizeof(TEEC_UUID) == 16, "TEEC_UUID is 16 bytes");
VELQUAR_TEEC_CHECK(offsetof(TEEC_UUID, timeLow) == 0, "timeLow at 0");
VELQUAR_TEEC_CHECK(offsetof(TEEC_UUID, timeMid) == 4, "timeMid at 4");
VELQUAR_TEEC_CHECK(offsetof(TEEC_UUID, timeHiAndVersion) == 6, "timeHiAndVersion at 6");
VELQUAR_TEEC_CHECK(offsetof(TEEC_UUID, clockSeqAndNode) == 8, "clockSeqAndNode at 8");
VELQUAR_TEEC_CHECK(sizeof(TEEC_Context) == 8, "TEEC_Context: fd and two flags");
VELQUAR_TEEC_CHECK(sizeof(TEEC_Session) == VELQUAR_TEEC_BY_WIDTH(8, 16),
                   "TEEC_Session: context pointer and session id");
VELQUAR_TEEC_CHECK(sizeof(TEEC_Parameter) == VELQUAR_TEEC_BY_WIDTH(12, 24),
                   "TEEC_Parameter: as wide as the registered memory reference");
VELQUAR_TEEC_CHECK(offsetof(TEEC_Operation, params) == 8, "parameters at 8");
VELQUAR_TEEC_CHECK(offsetof(TEEC_Operation, imp) == VELQUAR_TEEC_BY_WIDTH(56, 104),
                   "session pointer after the four parameters");
VELQUAR_TEEC_CHECK(sizeof(TEEC_Operation) == VELQUAR_TEEC_BY_WIDTH(60, 112), "TEEC_Operation size");
#undef VELQUAR_TEEC_BY_WIDTH
#undef VELQUAR_TEEC_CHECK

#endif
