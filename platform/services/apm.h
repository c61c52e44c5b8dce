// Application resource manager of the television (libAPM.so).
//
// A program joins the manager with a table of six callbacks and leaves it
// before it ends. The manager may call the entries from inside any of these
// functions or from a thread of its own.
#ifndef VELQUAR_SERVICES_APM_H
#define VELQUAR_SERVICES_APM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The six-entry callback table; it must stay valid until APM_Leave returns.
typedef struct {
    int32_t (*entry1)(void);
    int32_t (*entry2)(void);
    int32_t (*entry3)(void);
    int32_t (*entry4)(int32_t value);
    int32_t (*entry5)(int32_t value);
    // A message from the manager: code 4 carries the reset type as text.
    int32_t (*onMessage)(int32_t code, const char *text);
} APM_CALLBACKS;

__attribute__((visibility("default"))) int32_t APM_Join(APM_CALLBACKS *callbacks);
__attribute__((visibility("default"))) int32_t APM_IsResourceOwner(void);
__attribute__((visibility("default"))) int32_t APM_Leave(void);

#ifdef __cplusplus
}
#endif

#endif
