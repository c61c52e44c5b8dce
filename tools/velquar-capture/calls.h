// The call sequence: the platform libraries loaded by the names the library
// links them by, and every getter asked once, the way the library asks.
#ifndef VELQUAR_CAPTURE_CALLS_H
#define VELQUAR_CAPTURE_CALLS_H

#include <cstdint>
#include <string>
#include <vector>

#include "app_ipc.h"
#include "state_file.h"
#include "tevrin_mm_player.h"

extern const char kAppIpc[];
extern const char kMmPlayer[];

// The platform's functions, bound by name. The media-player client is a C++
// class whose members take the object as their first argument.
struct Platform {
    int32_t (*getHdcpVersion)(int32_t *);
    int32_t (*getInputSource)(uint32_t *, int32_t);
    int32_t (*getCapability)(APPIPC_PLATFORM_CAPABILITY *);
    int32_t (*getAudio)(APPIPC_AUDIO_CAPABILITY *);
    int32_t (*getMedium)(int32_t *);
    int32_t (*getLanguage)(int32_t *);
    int32_t (*getMac)(uint8_t *, int32_t);
    int32_t (*getProxy)(char *, int32_t);
    int32_t (*getCustomer)(const char *, APPIPC_CUSTOMER_RECORD *);
    int32_t (*getConfigPath)(int32_t, char *);
    void (*construct)(Tevrin_MM_PlayerInterface *);
    void (*destroy)(Tevrin_MM_PlayerInterface *);
    int (*initialize)(Tevrin_MM_PlayerInterface *);
    int (*getOption)(Tevrin_MM_PlayerInterface *, ST_MMPLAYER_PARAM *);
    int (*finalize)(Tevrin_MM_PlayerInterface *);
};

// Loads both libraries and binds every function; false, after a line on
// standard error, when one is missing.
bool loadPlatform(Platform &p);

// What the calls found out beyond the state file's lines, and the
// configuration path, whose line waits for the bundle.
struct Findings {
    std::string firmwareVersion = "unknown";
    int32_t configResult = 0;
    std::vector<char> configBuffer = std::vector<char>(APPIPC_CONFIG_PATH_SIZE);
    std::string configPath;  // the file the library loads
    bool configFromService = false;
};

// Every getter once, in the order a context's creation and then the
// properties ask them, written to state as it goes. The configuration
// path's line is left to the caller, which may make a bundle first.
void captureCalls(const Platform &p, StateText &state, Findings &found);

#endif
