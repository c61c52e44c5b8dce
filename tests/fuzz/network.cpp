// The proxy-text and CA-path splits of the network client properties, read
// through the exported functions.
//
// This program defines AppIpcApi_GetProxy itself; exported from the
// executable, it takes the place of the stand-in's for the library, and
// answers with the input's bytes.
//
// Input: byte 0 (bit 0: the service fails, bit 1: CURL_CA_BUNDLE_PATH is not
// set), then the 32 bytes the service writes (fewer leave the rest as the
// caller zeroed it), then the CA path, up to its first NUL.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app_ipc.h"
#include "fuzz_support.h"
#include "velquar_platform.h"

namespace {

const uint8_t kServiceFails = 1 << 0;
const uint8_t kNoCAPath = 1 << 1;

DevicePropertiesProviderContext *g_context = nullptr;

struct ProxyAnswer {
    unsigned char bytes[APPIPC_PROXY_SIZE];
    size_t length;
    bool fails;
    unsigned calls;
} g_proxy;

// setenv keeps a copy of every value it was ever given, for the life of the
// process; putenv takes this program's own text, freed once replaced.
void setCAPath(const char *path) {
    static std::unique_ptr<char[]> current;
    if (!path) {
        unsetenv("CURL_CA_BUNDLE_PATH");
        current.reset();
        return;
    }
    const std::string entry = std::string("CURL_CA_BUNDLE_PATH=") + path;
    std::unique_ptr<char[]> next(new char[entry.size() + 1]);
    memcpy(next.get(), entry.c_str(), entry.size() + 1);
    FUZZ_CHECK(putenv(next.get()) == 0);
    current = std::move(next);
}

void releaseContext() {
    ReleaseDevicePropertiesProviderContext(g_context);
}

// Reads a string property in two steps, as an application does: the size
// with capacity 0, then the value in a buffer of exactly that size.
int readString(const char *name, std::string &value) {
    int size = 0;
    int rc = GetStringProperty(g_context, name, nullptr, &size);
    if (rc != PROPERTY_BUFFER_TOO_SMALL) {
        FUZZ_CHECK(size == 0);
        return rc;
    }
    FUZZ_CHECK(size >= 1);
    std::vector<char> buffer(static_cast<size_t>(size));
    const int needed = size;
    rc = GetStringProperty(g_context, name, buffer.data(), &size);
    FUZZ_CHECK(rc == PROPERTY_OK && size == needed && buffer[buffer.size() - 1] == '\0');
    value.assign(buffer.data());
    return rc;
}

// strtol in base 10, saturated at the int range.
int portOf(const std::string &text) {
    const long number = strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, number)));
}

void checkProxy() {
    // The text is the service's bytes before the first NUL; a failure or
    // an empty text is no proxy.
    const std::string text =
        g_proxy.fails ? std::string()
                      : std::string(reinterpret_cast<const char *>(g_proxy.bytes),
                                    strnlen(reinterpret_cast<const char *>(g_proxy.bytes),
                                            APPIPC_PROXY_SIZE));
    const unsigned callsBefore = g_proxy.calls;
    std::string host;
    FUZZ_CHECK(readString("httpProxyHost", host) == PROPERTY_OK);
    // Two reads of the size and the value: both asked this program's service.
    FUZZ_CHECK(g_proxy.calls == callsBefore + 2);
    int port = -1;
    FUZZ_CHECK(GetInt32Property(g_context, "httpProxyPort", &port) == PROPERTY_OK);
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        FUZZ_CHECK(host == text && port == 0);
    } else {
        FUZZ_CHECK(host == text.substr(0, colon));
        FUZZ_CHECK(port == portOf(text.substr(colon + 1)));
    }
    for (const char *credential : {"httpProxyUsername", "httpProxyPassword"}) {
        std::string value = "unset";
        FUZZ_CHECK(readString(credential, value) == PROPERTY_OK && value.empty());
    }
}

void checkCAPath(const char *path) {
    std::string directory;
    std::string file;
    const int rcDirectory = readString("CADirectoryPath", directory);
    const int rcFile = readString("CABundleFileName", file);
    if (!path) {
        FUZZ_CHECK(rcDirectory == PROPERTY_UNAVAILABLE && rcFile == PROPERTY_UNAVAILABLE);
        return;
    }
    FUZZ_CHECK(rcDirectory == PROPERTY_OK && rcFile == PROPERTY_OK);
    const std::string text(path);
    if (text.find_first_of("/\\") == std::string::npos) {
        FUZZ_CHECK(directory == text && file == text);
        return;
    }
    // Split at the last separator: directory, separator, file.
    FUZZ_CHECK(directory.size() + 1 + file.size() == text.size());
    FUZZ_CHECK(text.compare(0, directory.size(), directory) == 0);
    FUZZ_CHECK(text[directory.size()] == '/' || text[directory.size()] == '\\');
    FUZZ_CHECK(text.compare(directory.size() + 1, std::string::npos, file) == 0);
    FUZZ_CHECK(file.find_first_of("/\\") == std::string::npos);
}

}  // namespace

extern "C" int32_t AppIpcApi_GetProxy(char *proxy, int32_t size) {
    // The library passes its zeroed 32-byte buffer and that size.
    FUZZ_CHECK(proxy != nullptr && size == APPIPC_PROXY_SIZE);
    for (int32_t i = 0; i < size; ++i) {
        FUZZ_CHECK(proxy[i] == '\0');
    }
    ++g_proxy.calls;
    memcpy(proxy, g_proxy.bytes, g_proxy.length);
    return g_proxy.fails ? 7 : 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    unsetenv("VELQUAR_SIM_STATE");
    unsetenv("VELQUAR_SIM_LOG");
    FUZZ_CHECK(CreateDevicePropertiesProviderContext(&g_context) == PROPERTY_OK);
    atexit(releaseContext);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t flags = data[0];
    ++data;
    --size;
    memset(g_proxy.bytes, 0, sizeof g_proxy.bytes);
    g_proxy.length = std::min(size, sizeof g_proxy.bytes);
    memcpy(g_proxy.bytes, data, g_proxy.length);
    g_proxy.fails = flags & kServiceFails;
    data += g_proxy.length;
    size -= g_proxy.length;
    checkProxy();

    const std::string path(reinterpret_cast<const char *>(data),
                           strnlen(reinterpret_cast<const char *>(data), size));
    setCAPath((flags & kNoCAPath) ? nullptr : path.c_str());
    checkCAPath((flags & kNoCAPath) ? nullptr : path.c_str());
    return 0;
}
