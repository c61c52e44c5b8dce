// Network client properties: HTTP proxy and certificate locations.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app_ipc.h"
#include "decimal.h"
#include "platform_device_properties_provider.h"
#include "shell_lines.h"
#include "velquar_platform.h"

namespace velquar {
namespace {

// The proxy as the platform configures it; the platform knows no
// credentials, so username and password stay empty.
struct ST_HTTP_PROXY {
    int32_t reserved = 0;
    std::string username;
    std::string password;
    std::string host;
    int32_t port = 0;
};

// Asks the service afresh. A failure or an empty text means no proxy.
ST_HTTP_PROXY fetchProxy() {
    ST_HTTP_PROXY proxy;
    char buffer[APPIPC_PROXY_SIZE];
    memset(buffer, 0, sizeof buffer);
    if (AppIpcApi_GetProxy(buffer, APPIPC_PROXY_SIZE) != 0) {
        return proxy;
    }
    // The service need not terminate a text that fills the whole buffer.
    const std::string text(buffer, strnlen(buffer, sizeof buffer));
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        proxy.host = text;
    } else {
        proxy.host = text.substr(0, colon);
        proxy.port = decimalToInt(text.c_str() + colon + 1);
    }
    return proxy;
}

// The CA bundle's path split at its last '/' or '\'; false when the
// variable is not set. Without a separator both parts are the whole path.
bool splitCABundlePath(std::string &directory, std::string &file) {
    const char *path = getenv(kCABundleVariable);
    if (!path) {
        printf("Failed to get environment variable [%s]\n", kCABundleVariable);
        return false;
    }
    const std::string value(path);
    const size_t separator = value.find_last_of("/\\");
    if (separator == std::string::npos) {
        directory = value;
        file = value;
    } else {
        directory = value.substr(0, separator);
        file = value.substr(separator + 1);
    }
    return true;
}

// The CA bundle path's folder (folder true) or its file name.
int caBundlePathPart(bool folder, std::string &value) {
    std::string directory;
    std::string file;
    if (!splitCABundlePath(directory, file)) {
        return PROPERTY_UNAVAILABLE;
    }
    value = folder ? directory : file;
    return PROPERTY_OK;
}

}  // namespace

int PlatformDevicePropertiesProvider::getHttpProxyHost(std::string &value) const {
    value = fetchProxy().host;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getHttpProxyPort(int &value) const {
    value = fetchProxy().port;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getHttpProxyUsername(std::string &value) const {
    value = fetchProxy().username;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getHttpProxyPassword(std::string &value) const {
    value = fetchProxy().password;
    return PROPERTY_OK;
}

int PlatformDevicePropertiesProvider::getCADirectoryPath(std::string &value) const {
    return caBundlePathPart(true, value);
}

int PlatformDevicePropertiesProvider::getCABundleFileName(std::string &value) const {
    return caBundlePathPart(false, value);
}

}  // namespace velquar
