// The session: every call of the library is a platform step (program.h),
// so that a library that ends the process is reported.
#ifndef VELQUAR_PROPS_SESSION_H
#define VELQUAR_PROPS_SESSION_H

#include <functional>
#include <string>
#include <vector>

#include "library.h"
#include "output_capture.h"
#include "readings.h"

// The library loaded and one context of it. With captured, every call's
// lines on standard output are taken aside: those of a read into its
// reading, those of loading, creation, release and unloading into output().
// Otherwise the calls print straight to descriptor out, and what the library
// and the platform's libraries print at load and unload goes to whatever
// descriptor 1 is meanwhile.
class Session {
public:
    Session(bool captured, int out);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Whether the lines can be taken aside as asked.
    bool ready() const { return m_capture.ok(); }
    // Why some of the library's lines went to standard error; empty when
    // none did.
    const std::string &note() const { return m_capture.note(); }

    // Loads the library (loadApi).
    bool load(const char *path);
    // Creates the context; the library's result code.
    int create();
    // Reads a property (readProperty), with the function of its type when
    // it is in the property list.
    Reading read(const char *name);
    // Every property of the list when names is empty, then each name.
    void readAll(const std::vector<const char *> &names,
                 const std::function<void(const Reading &)> &take);
    // Releases the context (once; the destructor does when nobody did).
    void release();
    // Releases the context and unloads the library, so that what it prints
    // on the way out is taken like the rest.
    void unload();

    std::vector<std::string> &output() { return m_output; }
    // The loaded library's release (libraryVersion), or null when it names
    // none; taken at load.
    const std::string *version() const { return m_hasVersion ? &m_version : nullptr; }

private:
    // A call of the library's functions: its lines captured or passed on.
    template <typename F>
    auto call(std::vector<std::string> &lines, F fn) -> decltype(fn()) {
        return m_capture.run(lines, fn);
    }
    // Loading or unloading: captured, or left to descriptor 1 as it is.
    template <typename F>
    auto loadCall(F fn) -> decltype(fn()) {
        return m_captured ? m_capture.run(m_output, fn) : fn();
    }

    Api m_api{};
    bool m_captured;
    OutputCapture m_capture;
    DevicePropertiesProviderContext *m_context = nullptr;
    std::vector<std::string> m_output;
    bool m_hasVersion = false;
    std::string m_version;
};

#endif
