#include "readings.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "property_list.h"

using velquar::PropertyType;

namespace {

template <typename F>
bool bind(void *lib, const char *symbol, F &fn) {
    fn = reinterpret_cast<F>(dlsym(lib, symbol));
    if (!fn) {
        fprintf(stderr, "velquar-props: %s: %s\n", symbol, dlerror());
        return false;
    }
    return true;
}

const char *resultName(int rc) {
    switch (rc) {
        case PROPERTY_OK:
            return "OK";
        case PROPERTY_NOT_FOUND:
            return "PROPERTY_NOT_FOUND";
        case PROPERTY_TYPE_MISMATCH:
            return "PROPERTY_TYPE_MISMATCH";
        case PROPERTY_INVALID_ARGUMENT:
            return "PROPERTY_INVALID_ARGUMENT";
        case PROPERTY_BUFFER_TOO_SMALL:
            return "PROPERTY_BUFFER_TOO_SMALL";
        case PROPERTY_UNAVAILABLE:
            return "PROPERTY_UNAVAILABLE";
        default:
            return nullptr;
    }
}

Reading readAs(const Api &api, DevicePropertiesProviderContext *ctx, const char *name,
               PropertyType type) {
    Reading r{name, typeName(type), PROPERTY_OK, std::string(), {}};
    switch (type) {
        case PropertyType::Bool: {
            bool v = false;
            r.result = api.getBool(ctx, name, &v);
            r.value = v ? "true" : "false";
            break;
        }
        case PropertyType::Int: {
            int v = 0;
            r.result = api.getInt32(ctx, name, &v);
            r.value = std::to_string(v);
            break;
        }
        case PropertyType::LongLong: {
            long long v = 0;
            r.result = api.getInt64(ctx, name, &v);
            r.value = std::to_string(v);
            break;
        }
        case PropertyType::String: {
            // Start with room for most values; grow once to the size reported.
            std::vector<char> buf(256);
            int size = static_cast<int>(buf.size());
            r.result = api.getString(ctx, name, buf.data(), &size);
            if (r.result == PROPERTY_BUFFER_TOO_SMALL && size > 0) {
                buf.resize(static_cast<size_t>(size));
                r.result = api.getString(ctx, name, buf.data(), &size);
            }
            if (r.result == PROPERTY_OK) {
                r.value.assign(buf.data());
            }
            break;
        }
    }
    if (r.result != PROPERTY_OK) {
        r.value.clear();
    }
    return r;
}

// A name outside the known list is read with each function in turn until
// the library names a type; it then reports what the library said.
Reading readUnknown(const Api &api, DevicePropertiesProviderContext *ctx, const char *name) {
    Reading r{name, "?", PROPERTY_NOT_FOUND, std::string(), {}};
    for (PropertyType t :
         {PropertyType::String, PropertyType::Bool, PropertyType::Int, PropertyType::LongLong}) {
        r = readAs(api, ctx, name, t);
        if (r.result == PROPERTY_NOT_FOUND) {
            r.type = "-";
        }
        if (r.result != PROPERTY_TYPE_MISMATCH) {
            return r;
        }
    }
    return r;
}

}  // namespace

const char *typeName(PropertyType t) {
    switch (t) {
        case PropertyType::Bool:
            return "bool";
        case PropertyType::Int:
            return "int32";
        case PropertyType::LongLong:
            return "int64";
        case PropertyType::String:
            return "string";
    }
    return "?";
}

bool loadApi(const char *path, Api &api) {
    // A bare name is looked up on the library path by the loader, which
    // takes only regular files there.
    struct stat st;
    if (strchr(path, '/') && stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        fprintf(stderr, "velquar-props: cannot load %s: not a regular file\n", path);
        return false;
    }
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "velquar-props: cannot load %s: %s\n", path, dlerror());
        // Where the simulated television is installed beside this program.
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string sim(self, n > 0 ? n : 0);
        if (n > 0 &&
            access(sim.replace(sim.rfind('/') + 1, sim.npos, "velquar-sim").c_str(), X_OK) == 0) {
            fprintf(
                stderr,
                "velquar-props: to use the simulated television: velquar-sim velquar-props ...\n");
        }
        return false;
    }
    api.handle = lib;
    return bind(lib, "CreateDevicePropertiesProviderContext", api.create) &&
           bind(lib, "ReleaseDevicePropertiesProviderContext", api.release) &&
           bind(lib, "GetStringProperty", api.getString) &&
           bind(lib, "GetBoolProperty", api.getBool) &&
           bind(lib, "GetInt32Property", api.getInt32) &&
           bind(lib, "GetInt64Property", api.getInt64);
}

std::string resultText(int rc) {
    const char *name = resultName(rc);
    if (name) {
        return name;
    }
    char buf[32];
    snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(rc));
    return buf;
}

Session::Session(bool captured, int out) : m_captured(captured), m_capture(captured ? -1 : out) {}

Session::~Session() {
    unload();
}

bool Session::load(const char *path) {
    return loadCall([&] { return loadApi(path, m_api); });
}

int Session::create() {
    if (!m_api.handle) {
        return PROPERTY_UNAVAILABLE;
    }
    return call(m_output, [&] { return m_api.create(&m_context); });
}

Reading Session::read(const char *name) {
    const velquar::PropertyName *known = nullptr;
    for (const velquar::PropertyName &p : velquar::kPropertyList) {
        if (strcmp(p.name, name) == 0) {
            known = &p;
        }
    }
    std::vector<std::string> lines;
    Reading r = call(lines, [&] {
        return known ? readAs(m_api, m_context, name, known->type)
                     : readUnknown(m_api, m_context, name);
    });
    r.output = lines;
    return r;
}

void Session::readAll(const std::vector<const char *> &names,
                      const std::function<void(const Reading &)> &take) {
    if (names.empty()) {
        for (const velquar::PropertyName &p : velquar::kPropertyList) {
            take(read(p.name));
        }
    }
    for (const char *name : names) {
        take(read(name));
    }
}

void Session::release() {
    if (m_context) {
        call(m_output, [&] { return m_api.release(m_context); });
        m_context = nullptr;
    }
}

void Session::unload() {
    release();
    if (m_api.handle) {
        loadCall([&] { return dlclose(m_api.handle); });
        m_api.handle = nullptr;
    }
}

void linesToStderr(const std::vector<std::string> &lines) {
    for (const std::string &line : lines) {
        fprintf(stderr, "%s\n", line.c_str());
    }
}
