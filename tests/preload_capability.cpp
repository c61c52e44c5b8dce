// Preloaded into a program that uses the library: answers the capability
// query for a 1280 x 720 panel without HDR or HEVC, whatever the stand-in
// or the vendor's service would say, and says so on standard output, as a
// vendor's library may. If the library bound the call at link time instead
// of through the dynamic linker, this would never be reached. With
// VELQUAR_PRELOAD_EXIT set it ends the process with status 0 instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app_ipc.h"

extern "C" int32_t AppIpcApi_QueryPlatformAllCapability(APPIPC_PLATFORM_CAPABILITY *capability) {
    if (getenv("VELQUAR_PRELOAD_EXIT")) {
        exit(0);
    }
    puts("preloaded capability query");
    memset(capability, 0, sizeof *capability);
    capability->panelWidth = 1280;
    capability->panelHeight = 720;
    return 0;
}
