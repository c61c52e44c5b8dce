// velquar-props: the property inspector.
//
// Loads the device properties library the way the streaming application
// does, through its exported C functions, creates a context and prints what
// every property (or the ones named) answers. Property failures are data:
// the exit status is 0 once a context was created.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
    std::string value;  // as text; quoted separately for JSON strings
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
    Reading r{name, typeName(type), PROPERTY_OK, std::string()};
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
    Reading r{name, "?", PROPERTY_NOT_FOUND, std::string()};
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

std::string jsonString(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string jsonValue(const Reading &r) {
    if (r.result != PROPERTY_OK) {
        return "null";
    }
    return strcmp(r.type, "string") == 0 ? jsonString(r.value) : r.value;
}

void printJson(const std::vector<Reading> &readings) {
    printf("{\n  \"properties\": [\n");
    for (size_t i = 0; i < readings.size(); ++i) {
        const Reading &r = readings[i];
        printf(
            "    {\"name\": %s, \"type\": \"%s\", \"result\": %s, \"code\": %d, \"value\": %s}%s\n",
            jsonString(r.name).c_str(), r.type, jsonString(resultText(r.result)).c_str(), r.result,
            jsonValue(r).c_str(), i + 1 < readings.size() ? "," : "");
    }
    printf("  ]\n}\n");
}

// A table value on one line: control characters (the line feed that
// osName keeps, say) are shown as escapes, a backslash doubled.
std::string printable(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
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

void usage(FILE *out) {
    fprintf(out,
            "usage: velquar-props [--json] [--library PATH] [NAME...]\n"
            "\n"
            "Creates a device properties context and prints, for every property of\n"
            "the catalogue or for each NAME given, its type, the result code and the\n"
            "value. The library's own diagnostic lines appear on standard output\n"
            "between the rows as it prints them.\n"
            "\n"
            "  --json          print the readings as one JSON document at the end\n"
            "  --library PATH  load this library instead of %s\n"
            "  --help          show this help\n"
            "\n"
            "Exit status: 0 once a context was created, whatever the properties\n"
            "answered; 1 when the library cannot be loaded or the context not\n"
            "created; 2 for a bad option.\n",
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
    const char *library = kDefaultLibrary;
    std::vector<const char *> names;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--library") {
            if (++i == argc) {
                fprintf(stderr, "velquar-props: --library needs a path\n");
                return 2;
            }
            library = argv[i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "velquar-props: unknown option %s\n", argv[i]);
            usage(stderr);
            return 2;
        } else {
            names.push_back(argv[i]);
        }
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

    fprintf(stderr,
            "velquar-props: waiting for the platform (up to about 10 s until the television "
            "reports its input source)...\n");
    DevicePropertiesProviderContext *ctx = nullptr;
    int rc = api.create(&ctx);
    if (rc != PROPERTY_OK) {
        fprintf(stderr, "velquar-props: CreateDevicePropertiesProviderContext failed: %s\n",
                resultText(rc).c_str());
        return 1;
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
            take(read(api, ctx, p.name, p.type));
        }
    }
    for (const char *name : names) {
        const Property *known = nullptr;
        for (const Property &p : kCatalogue) {
            if (strcmp(p.name, name) == 0) {
                known = &p;
            }
        }
        take(known ? read(api, ctx, name, known->type) : readUnknown(api, ctx, name));
    }
    if (json) {
        printJson(readings);
    }
    api.release(ctx);
    return 0;
}
