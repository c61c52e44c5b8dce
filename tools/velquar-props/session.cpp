#include "session.h"

#include <dlfcn.h>

#include <cstring>

#include "program.h"

Session::Session(bool captured, int out) : m_captured(captured), m_capture(captured ? -1 : out) {}

Session::~Session() {
    unload();
}

bool Session::load(const char *path) {
    PlatformStep step(std::string("the load of ") + path);
    const bool loaded = loadCall([&] { return loadApi(path, m_api); });
    m_hasVersion = loaded && libraryVersion(m_api.handle, m_version);
    return loaded;
}

int Session::create() {
    if (!m_api.handle) {
        return PROPERTY_UNAVAILABLE;
    }
    PlatformStep step("CreateDevicePropertiesProviderContext");
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
    PlatformStep step(std::string("the read of ") + name);
    Reading r = call(lines, [&] { return readProperty(m_api, m_context, name, known); });
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
        PlatformStep step("ReleaseDevicePropertiesProviderContext");
        call(m_output, [&] { return m_api.release(m_context); });
        m_context = nullptr;
    }
}

void Session::unload() {
    release();
    if (m_api.handle) {
        PlatformStep step("the unload of the library");
        loadCall([&] { return dlclose(m_api.handle); });
        m_api.handle = nullptr;
    }
}
