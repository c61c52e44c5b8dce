// velquar-props: the property inspector.
//
// Loads the device properties library the way the streaming application
// does, through its exported C functions, creates a context and prints what
// every property (or the ones named) answers. Property failures are data:
// the exit status is 0 once a context was created. --value reads one
// property for a script, and its status tells how the read went.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "printable.h"
#include "velquar_platform.h"

namespace {

const char *const kDefaultLibrary = "libcom.orvane.velquar.platform.so";

enum class Type { Bool, Int32, Int64, String };

struct Property {
    const char *name;
    Type type;
};

// The catalogue of the library, in its own order.
const Property kCatalogue[] = {
    {"manufacturer", Type::String},
    {"firmwareVersion", Type::String},
    {"osName", Type::String},
    {"osVersion", Type::String},
    {"chipset", Type::String},
    {"modelName", Type::String},
    {"platformPackageVersion", Type::String},
    {"deviceMode", Type::Int32},
    {"supportsUHD", Type::Bool},
    {"supportsHEVC", Type::Bool},
    {"supportsHDR", Type::Bool},
    {"supportsOLED", Type::Bool},
    {"hasPlatformVideoNode", Type::Bool},
    {"supportsAudioCodecSwitching", Type::Bool},
    {"hasExternalOutput", Type::Bool},
    {"supportsHDCP", Type::Bool},
    {"hdcpFullVersion", Type::String},
    {"hdcpMajorVersion", Type::Int32},
    {"hdcpMinorVersion", Type::Int32},
    {"displayWidth", Type::Int32},
    {"displayHeight", Type::Int32},
    {"panelWidth", Type::Int32},
    {"panelHeight", Type::Int32},
    {"deviceLanguage", Type::String},
    {"supportsHEVC10Bits", Type::Bool},
    {"hdrFlags", Type::Int32},
    {"dolbyDigitalAudioPassthroughOnly", Type::Bool},
    {"supportsSurroundSound", Type::Bool},
    {"supportsDASH", Type::Bool},
    {"supportsCVBR", Type::Bool},
    {"supportsCompressedContentEncoding", Type::Bool},
    {"supportsHexEncodedManifest", Type::Bool},
    {"supportsIntraChunkSeeking", Type::Bool},
    {"WiFiNetworkConnection", Type::Bool},
    {"networkConnectionStrength", Type::Int32},
    {"deviceId", Type::String},
    {"fragmentCacheSize", Type::Int32},
    {"updateFrequency", Type::Int32},
    {"totalMemory", Type::Int64},
    {"availableMemory", Type::Int64},
    {"deviceTypeId", Type::String},
    {"httpProxyHost", Type::String},
    {"httpProxyPort", Type::Int32},
    {"httpProxyUsername", Type::String},
    {"httpProxyPassword", Type::String},
    {"fragmentCacheMountPoint", Type::String},
    {"bandwidthEstimateFilePath", Type::String},
    {"CADirectoryPath", Type::String},
    {"CABundleFileName", Type::String},
};

struct Api {
    decltype(&CreateDevicePropertiesProviderContext) create;
    decltype(&ReleaseDevicePropertiesProviderContext) release;
    decltype(&GetStringProperty) getString;
    decltype(&GetBoolProperty) getBool;
    decltype(&GetInt32Property) getInt32;
    decltype(&GetInt64Property) getInt64;
};

struct Reading {
    std::string name;
    const char *type;
    int result;
    std::string value;                // as text; quoted separately for JSON strings
    std::vector<std::string> output;  // what the library printed meanwhile
};

// What the library writes to standard output while a call runs, taken
// aside so that standard output carries only the inspector's own document.
// Descriptor 1 points at an anonymous file for the call and is put back
// afterwards; a file, unlike a pipe, cannot fill up and block the library.
class OutputCapture {
public:
    OutputCapture() {
        m_fd = memfd_create("velquar-props-output", MFD_CLOEXEC);
        if (m_fd < 0) {
            FILE *file = tmpfile();
            m_fd = file ? fcntl(fileno(file), F_DUPFD_CLOEXEC, 3) : -1;
            if (file) {
                fclose(file);
            }
        }
        m_saved = m_fd < 0 ? -1 : fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    }
    ~OutputCapture() {
        if (m_fd >= 0) {
            close(m_fd);
        }
        if (m_saved >= 0) {
            close(m_saved);
        }
    }
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    bool ok() const { return m_fd >= 0 && m_saved >= 0; }

    // Runs fn with standard output captured; appends its lines to lines.
    template <typename F>
    auto run(std::vector<std::string> &lines, F fn) -> decltype(fn()) {
        flush();
        const bool redirected = ok() && ftruncate(m_fd, 0) == 0 && lseek(m_fd, 0, SEEK_SET) == 0 &&
                                dup2(m_fd, STDOUT_FILENO) >= 0;
        struct Restore {
            OutputCapture &self;
            std::vector<std::string> &lines;
            bool redirected;
            ~Restore() {
                if (redirected) {
                    self.flush();
                    dup2(self.m_saved, STDOUT_FILENO);
                    self.collect(lines);
                }
            }
        } restore{*this, lines, redirected};
        return fn();
    }

private:
    static void flush() {
        std::cout.flush();
        fflush(stdout);
    }

    // The captured text as lines, without their line feeds; text after the
    // last line feed is a line of its own.
    void collect(std::vector<std::string> &lines) const {
        std::string text;
        char chunk[4096];
        for (off_t at = 0;;) {
            const ssize_t n = pread(m_fd, chunk, sizeof chunk, at);
            if (n <= 0) {
                break;
            }
            text.append(chunk, static_cast<size_t>(n));
            at += n;
        }
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        if (start < text.size()) {
            lines.push_back(text.substr(start));
        }
    }

    int m_fd = -1;
    int m_saved = -1;
};

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

std::string resultText(int rc) {
    const char *name = resultName(rc);
    if (name) {
        return name;
    }
    char buf[32];
    snprintf(buf, sizeof buf, "0x%08x", static_cast<unsigned>(rc));
    return buf;
}

const char *typeName(Type t) {
    switch (t) {
        case Type::Bool:
            return "bool";
        case Type::Int32:
            return "int32";
        case Type::Int64:
            return "int64";
        case Type::String:
            return "string";
    }
    return "?";
}

Reading read(const Api &api, DevicePropertiesProviderContext *ctx, const char *name, Type type) {
    Reading r{name, typeName(type), PROPERTY_OK, std::string(), {}};
    switch (type) {
        case Type::Bool: {
            bool v = false;
            r.result = api.getBool(ctx, name, &v);
            r.value = v ? "true" : "false";
            break;
        }
        case Type::Int32: {
            int v = 0;
            r.result = api.getInt32(ctx, name, &v);
            r.value = std::to_string(v);
            break;
        }
        case Type::Int64: {
            long long v = 0;
            r.result = api.getInt64(ctx, name, &v);
            r.value = std::to_string(v);
            break;
        }
        case Type::String: {
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

// A name outside the known catalogue is read with each function in turn
// until the library names a type; it then reports what the library said.
Reading readUnknown(const Api &api, DevicePropertiesProviderContext *ctx, const char *name) {
    Reading r{name, "?", PROPERTY_NOT_FOUND, std::string(), {}};
    for (Type t : {Type::String, Type::Bool, Type::Int32, Type::Int64}) {
        r = read(api, ctx, name, t);
        if (r.result == PROPERTY_NOT_FOUND) {
            r.type = "-";
        }
        if (r.result != PROPERTY_TYPE_MISMATCH) {
            return r;
        }
    }
    return r;
}

// The length of the valid UTF-8 sequence at s[i], or 0 when the bytes there
// are not one (overlong forms, surrogates and code points past U+10FFFF
// included).
size_t utf8Length(const std::string &s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = at(i);
    size_t n;
    unsigned char lo = 0x80, hi = 0xbf;  // the range of the second byte
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        lo = c == 0xe0 ? 0xa0 : 0x80;
        hi = c == 0xed ? 0x9f : 0xbf;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        lo = c == 0xf0 ? 0x90 : 0x80;
        hi = c == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (s.size() - i < n || at(i + 1) < lo || at(i + 1) > hi) {
        return 0;
    }
    for (size_t k = 2; k < n; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xbf) {
            return 0;
        }
    }
    return n;
}

// A JSON string for any bytes. A byte that is not part of valid UTF-8
// becomes the lone surrogate \udcXX (XX the byte), which no valid text can
// produce: Python's json reads it back and .encode("utf-8",
// "surrogateescape") gives the original bytes.
std::string jsonString(const std::string &s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = utf8Length(s, i);
        char buf[8];
        if (n == 0) {
            snprintf(buf, sizeof buf, "\\udc%02x", c);
            out += buf;
            i += 1;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.append(s, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::string jsonLines(const std::vector<std::string> &lines) {
    std::string out = "[";
    for (size_t i = 0; i < lines.size(); ++i) {
        out += (i ? ", " : "") + jsonString(lines[i]);
    }
    return out + "]";
}

std::string jsonValue(const Reading &r) {
    if (r.result != PROPERTY_OK) {
        return "null";
    }
    return strcmp(r.type, "string") == 0 ? jsonString(r.value) : r.value;
}

void printJson(const std::vector<std::string> &output, const std::vector<Reading> &readings) {
    printf("{\n  \"output\": %s,\n  \"properties\": [\n", jsonLines(output).c_str());
    for (size_t i = 0; i < readings.size(); ++i) {
        const Reading &r = readings[i];
        printf(
            "    {\"name\": %s, \"type\": \"%s\", \"result\": %s, \"code\": %d, \"value\": %s, "
            "\"output\": %s}%s\n",
            jsonString(r.name).c_str(), r.type, jsonString(resultText(r.result)).c_str(), r.result,
            jsonValue(r).c_str(), jsonLines(r.output).c_str(), i + 1 < readings.size() ? "," : "");
    }
    printf("  ]\n}\n");
}

void printRow(const char *name, const char *type, const std::string &result,
              const std::string &value) {
    if (value.empty()) {
        printf("%-34s %-7s %s\n", name, type, result.c_str());
    } else {
        printf("%-34s %-7s %-26s %s\n", name, type, result.c_str(), printable(value).c_str());
    }
    fflush(stdout);
}

// Exit statuses of --value beyond those of every mode.
const int kReadFailed = 3;
const int kUnknownProperty = 4;

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-props [--json] [--library PATH] [NAME...]\n"
            "       velquar-props --value NAME [--library PATH]\n"
            "\n"
            "Creates a device properties context and prints, for every property of\n"
            "the catalogue or for each NAME given, its type, the result code and the\n"
            "value. The library's own diagnostic lines appear on standard output\n"
            "between the rows as it prints them.\n"
            "\n"
            "  --json          print the readings as one JSON document, the library's\n"
            "                  lines inside it; nothing else on standard output\n"
            "  --value NAME    print only the value of NAME and a line end; the\n"
            "                  library's lines go to standard error\n"
            "  --library PATH  load this library instead of %s\n"
            "  --help          show this help\n"
            "\n"
            "Exit status: 0 once a context was created, whatever the properties\n"
            "answered (with --value: once the read succeeded); 1 when the library\n"
            "cannot be loaded or the context not created; 2 for a bad option;\n"
            "with --value, 3 when the read failed and 4 for an unknown property.\n",
            kDefaultLibrary);
}

template <typename F>
bool bind(void *lib, const char *symbol, F &fn) {
    fn = reinterpret_cast<F>(dlsym(lib, symbol));
    if (!fn) {
        fprintf(stderr, "velquar-props: %s: %s\n", symbol, dlerror());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    bool json = false;
    const char *valueName = nullptr;
    const char *library = kDefaultLibrary;
    std::vector<const char *> names;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--library" || arg == "--value") {
            if (++i == argc) {
                fprintf(stderr, "velquar-props: %s needs %s\n", arg.c_str(),
                        arg == "--library" ? "a path" : "a property name");
                return 2;
            }
            (arg == "--library" ? library : valueName) = argv[i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "velquar-props: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        } else {
            names.push_back(argv[i]);
        }
    }
    if (valueName && (json || !names.empty())) {
        fprintf(stderr, "velquar-props: --value reads one property, without --json or names\n");
        usage(stderr);
        return 2;
    }

    void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "velquar-props: cannot load %s: %s\n", library, dlerror());
        return 1;
    }
    Api api{};
    if (!bind(lib, "CreateDevicePropertiesProviderContext", api.create) ||
        !bind(lib, "ReleaseDevicePropertiesProviderContext", api.release) ||
        !bind(lib, "GetStringProperty", api.getString) ||
        !bind(lib, "GetBoolProperty", api.getBool) ||
        !bind(lib, "GetInt32Property", api.getInt32) ||
        !bind(lib, "GetInt64Property", api.getInt64)) {
        return 1;
    }

    // The table shows the library's lines where they fall; the other modes
    // keep standard output for themselves.
    OutputCapture capture;
    const bool captured = json || valueName;
    if (captured && !capture.ok()) {
        fprintf(stderr, "velquar-props: cannot set the library's output aside: %s\n",
                strerror(errno));
        return 1;
    }
    std::vector<std::string> output;  // creation's and release's lines
    auto call = [&](std::vector<std::string> &lines, auto fn) {
        return captured ? capture.run(lines, fn) : fn();
    };
    // Lines that have no place on standard output go to standard error.
    auto toStderr = [](const std::vector<std::string> &lines) {
        for (const std::string &line : lines) {
            fprintf(stderr, "%s\n", line.c_str());
        }
    };

    fprintf(stderr,
            "velquar-props: waiting for the platform (up to about 10 s until the television "
            "reports its input source)...\n");
    DevicePropertiesProviderContext *ctx = nullptr;
    int rc = call(output, [&] { return api.create(&ctx); });
    if (rc != PROPERTY_OK) {
        toStderr(output);
        fprintf(stderr, "velquar-props: CreateDevicePropertiesProviderContext failed: %s\n",
                resultText(rc).c_str());
        return 1;
    }

    auto readNamed = [&](const char *name) {
        const Property *known = nullptr;
        for (const Property &p : kCatalogue) {
            if (strcmp(p.name, name) == 0) {
                known = &p;
            }
        }
        std::vector<std::string> lines;
        Reading r = call(lines, [&] {
            return known ? read(api, ctx, name, known->type) : readUnknown(api, ctx, name);
        });
        r.output = lines;
        return r;
    };

    if (valueName) {
        const Reading r = readNamed(valueName);
        call(output, [&] { return api.release(ctx); });
        toStderr(r.output);
        toStderr(output);
        if (r.result != PROPERTY_OK) {
            fprintf(stderr, "velquar-props: %s: %s\n", valueName, resultText(r.result).c_str());
            return r.result == PROPERTY_NOT_FOUND ? kUnknownProperty : kReadFailed;
        }
        // The value as it is, bytes and line feeds included, as getprop gives it.
        fwrite(r.value.data(), 1, r.value.size(), stdout);
        putchar('\n');
        return fflush(stdout) == 0 ? 0 : 1;
    }

    std::vector<Reading> readings;
    auto take = [&](const Reading &r) {
        if (json) {
            readings.push_back(r);
        } else {
            printRow(r.name.c_str(), r.type, resultText(r.result), r.value);
        }
    };
    if (!json) {
        printRow("PROPERTY", "TYPE", "RESULT", "VALUE");
    }
    if (names.empty()) {
        for (const Property &p : kCatalogue) {
            take(readNamed(p.name));
        }
    }
    for (const char *name : names) {
        take(readNamed(name));
    }
    call(output, [&] { return api.release(ctx); });
    if (json) {
        printJson(output, readings);
    }
    return 0;
}
