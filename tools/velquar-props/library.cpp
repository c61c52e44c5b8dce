#include "library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "symbol.h"

const char *const kDefaultLibrary = "libcom.orvane.velquar.platform.so";

namespace {

// A library that cannot be loaded: the one place that says so.
bool cannotLoad(const char *path, const char *reason) {
    fprintf(stderr, "velquar-props: cannot load %s: %s\n", path, reason);
    return false;
}

template <typename F>
bool bind(void *lib, const char *symbol, F &fn) {
    return bindSymbol("velquar-props", lib, symbol, symbol, fn);
}

}  // namespace

bool loadApi(const char *path, Api &api) {
    // A bare name is looked up on the library path by the loader, which
    // takes only regular files there.
    struct stat st;
    if (strchr(path, '/') && stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        return cannotLoad(path, "not a regular file");
    }
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::string reason = dlerror();
        // Where the simulated television is installed beside this program,
        // the one line says how to run on it.
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string sim(self, n > 0 ? static_cast<size_t>(n) : 0);
        if (n > 0 &&
            access(sim.replace(sim.rfind('/') + 1, sim.npos, "velquar-sim").c_str(), X_OK) == 0) {
            reason += " (on the simulated television: velquar-sim velquar-props ...)";
        }
        return cannotLoad(path, reason.c_str());
    }
    api.handle = lib;
    return bind(lib, "CreateDevicePropertiesProviderContext", api.create) &&
           bind(lib, "ReleaseDevicePropertiesProviderContext", api.release) &&
           bind(lib, "GetStringProperty", api.getString) &&
           bind(lib, "GetBoolProperty", api.getBool) &&
           bind(lib, "GetInt32Property", api.getInt32) &&
           bind(lib, "GetInt64Property", api.getInt64);
}
