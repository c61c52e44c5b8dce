// Stand-in for the TEE client library (libteec.so, GlobalPlatform TEE Client
// API with OP-TEE's record layouts).
//
// The simulated TEE is named "opteearmtz00" and runs one trusted application,
// b03123e1-1018-4aa7-9d3d-044345b7f58f, which accepts command 35 without
// parameters from a public login. Each call can be made to fail through the
// state file; velquar-state(5) has the keys.
#include <cstdio>
#include <cstring>
#include <string>

#include "sim_state.h"
#include "tee_client_api.h"

using velquar_sim::State;

namespace {

const char kDeviceName[] = "opteearmtz00";
const TEEC_UUID kResetTa = {
    0xB03123E1, 0x1018, 0x4AA7, {0x9D, 0x3D, 0x04, 0x43, 0x45, 0xB7, 0xF5, 0x8F}};
const uint32_t kResetCommand = 35;
// Marks a context that TEEC_InitializeContext set up, in its descriptor field.
const int kOpenContext = 0x7ee;

uint32_t g_lastSession = 0;

std::string uuidText(const TEEC_UUID *u) {
    if (!u) {
        return "null";
    }
    char text[40];
    snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", u->timeLow,
             u->timeMid, u->timeHiAndVersion, u->clockSeqAndNode[0], u->clockSeqAndNode[1],
             u->clockSeqAndNode[2], u->clockSeqAndNode[3], u->clockSeqAndNode[4],
             u->clockSeqAndNode[5], u->clockSeqAndNode[6], u->clockSeqAndNode[7]);
    return text;
}

// The operation as passed: started and paramTypes, and whether everything
// after them is zero.
std::string operationText(const TEEC_Operation *op) {
    if (!op) {
        return "null";
    }
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(op);
    bool zero = true;
    for (size_t i = offsetof(TEEC_Operation, params); i < sizeof *op; ++i) {
        zero = zero && bytes[i] == 0;
    }
    char text[80];
    snprintf(text, sizeof text, "started=%u,paramTypes=0x%04x,rest=%s", op->started, op->paramTypes,
             zero ? "zero" : "set");
    return text;
}

bool contextOpen(const TEEC_Context *context) {
    return context && context->imp.fd == kOpenContext;
}

// The state's result for call, or the simulated TEE's own verdict when the
// state sets none; the origin follows the same way.
void answer(const State &s, const std::string &call, TEEC_Result own, uint32_t ownOrigin,
            TEEC_Result *ret, uint32_t *origin) {
    *ret = own;
    *origin = ownOrigin;
    if (s.has(call + ".result")) {
        *ret = static_cast<TEEC_Result>(s.result(call));
        *origin = static_cast<uint32_t>(s.number(call + ".origin", TEEC_ORIGIN_TEE));
    }
}

}  // namespace

extern "C" {

TEEC_Result TEEC_InitializeContext(const char *name, TEEC_Context *context) {
    State s = State::current();
    TEEC_Result ret = TEEC_SUCCESS;
    if (!context) {
        ret = TEEC_ERROR_BAD_PARAMETERS;
    } else if (name && strcmp(name, kDeviceName) != 0) {
        ret = TEEC_ERROR_ITEM_NOT_FOUND;
    }
    if (s.has("teec.initialize.result")) {
        ret = static_cast<TEEC_Result>(s.result("teec.initialize"));
    }
    if (context && ret == TEEC_SUCCESS) {
        memset(context, 0, sizeof *context);
        context->imp.fd = kOpenContext;
    }
    velquar_sim::log("TEEC_InitializeContext name=%s -> ret=0x%08x", name ? name : "null", ret);
    return ret;
}

void TEEC_FinalizeContext(TEEC_Context *context) {
    const bool open = contextOpen(context);
    if (open) {
        context->imp.fd = -1;
    }
    velquar_sim::log("TEEC_FinalizeContext context=%s", open ? "open" : "not-open");
}

TEEC_Result TEEC_OpenSession(TEEC_Context *context, TEEC_Session *session,
                             const TEEC_UUID *destination, uint32_t connectionMethod,
                             const void *connectionData, TEEC_Operation *operation,
                             uint32_t *returnOrigin) {
    State s = State::current();
    TEEC_Result own = TEEC_SUCCESS;
    uint32_t ownOrigin = TEEC_ORIGIN_TRUSTED_APP;
    if (!contextOpen(context) || !session) {
        own = TEEC_ERROR_BAD_PARAMETERS;
        ownOrigin = TEEC_ORIGIN_API;
    } else if (!destination || memcmp(destination, &kResetTa, sizeof kResetTa) != 0) {
        own = TEEC_ERROR_ITEM_NOT_FOUND;
        ownOrigin = TEEC_ORIGIN_TEE;
    } else if (connectionMethod != TEEC_LOGIN_PUBLIC || connectionData) {
        own = TEEC_ERROR_ACCESS_DENIED;
        ownOrigin = TEEC_ORIGIN_TEE;
    }
    TEEC_Result ret;
    uint32_t origin;
    answer(s, "teec.open_session", own, ownOrigin, &ret, &origin);
    const std::string passed = operationText(operation);
    if (ret == TEEC_SUCCESS && session) {
        session->imp.ctx = context;
        session->imp.session_id = ++g_lastSession;
    }
    if (returnOrigin) {
        *returnOrigin = origin;
    }
    velquar_sim::log(
        "TEEC_OpenSession context=%s uuid=%s login=%u data=%s operation=%s -> ret=0x%08x "
        "origin=%u session=%u",
        contextOpen(context) ? "open" : "not-open", uuidText(destination).c_str(), connectionMethod,
        connectionData ? "set" : "null", passed.c_str(), ret, origin,
        ret == TEEC_SUCCESS && session ? session->imp.session_id : 0);
    return ret;
}

void TEEC_CloseSession(TEEC_Session *session) {
    const uint32_t id = session && session->imp.ctx ? session->imp.session_id : 0;
    if (session) {
        session->imp.ctx = nullptr;
    }
    velquar_sim::log("TEEC_CloseSession session=%u", id);
}

TEEC_Result TEEC_InvokeCommand(TEEC_Session *session, uint32_t commandID, TEEC_Operation *operation,
                               uint32_t *returnOrigin) {
    State s = State::current();
    const std::string passed = operationText(operation);
    TEEC_Result own = TEEC_SUCCESS;
    uint32_t ownOrigin = TEEC_ORIGIN_TRUSTED_APP;
    if (!session || !contextOpen(session->imp.ctx)) {
        own = TEEC_ERROR_BAD_PARAMETERS;
        ownOrigin = TEEC_ORIGIN_API;
    } else if (commandID != kResetCommand) {
        own = TEEC_ERROR_NOT_SUPPORTED;
    } else if (operation && operation->paramTypes != 0) {
        own = TEEC_ERROR_BAD_PARAMETERS;
    }
    TEEC_Result ret;
    uint32_t origin;
    answer(s, "teec.invoke", own, ownOrigin, &ret, &origin);
    if (returnOrigin) {
        *returnOrigin = origin;
    }
    velquar_sim::log(
        "TEEC_InvokeCommand session=%u command=%u operation=%s -> ret=0x%08x origin=%u",
        session && session->imp.ctx ? session->imp.session_id : 0, commandID, passed.c_str(), ret,
        origin);
    return ret;
}

}  // extern "C"
