#include "sim_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace velquar_test {

SimDevice::SimDevice(const std::string &state) {
    char templ[] = "/tmp/velquar-test-XXXXXX";
    if (!mkdtemp(templ)) {
        ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    }
    m_dir = templ;
    m_statePath = m_dir + "/device.state";
    m_logPath = m_dir + "/calls.log";
    setState(state);
    setenv("VELQUAR_SIM_STATE", m_statePath.c_str(), 1);
    setenv("VELQUAR_SIM_LOG", m_logPath.c_str(), 1);
}

SimDevice::~SimDevice() {
    unsetenv("VELQUAR_SIM_STATE");
    unsetenv("VELQUAR_SIM_LOG");
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void SimDevice::setState(const std::string &state) {
    std::ofstream(m_statePath, std::ios::binary | std::ios::trunc) << state;
}

std::vector<std::string> SimDevice::log() const {
    std::vector<std::string> lines;
    std::ifstream in(m_logPath);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SimDevice::calls(const std::string &prefix) const {
    std::vector<std::string> matching;
    for (const std::string &line : log()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            matching.push_back(line);
        }
    }
    return matching;
}

void SimDevice::clearLog() {
    std::ofstream(m_logPath, std::ios::trunc);
}

std::string captureStdout(const std::function<void()> &fn) {
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

Context::Context(std::string *output) {
    auto create = [this] { m_rc = CreateDevicePropertiesProviderContext(&m_ctx); };
    if (output) {
        *output = captureStdout(create);
    } else {
        create();
    }
}

Context::~Context() {
    release();
}

int Context::release() {
    if (!m_ctx) {
        return PROPERTY_OK;
    }
    int rc = ReleaseDevicePropertiesProviderContext(m_ctx);
    m_ctx = nullptr;
    return rc;
}

Read<bool> readBool(DevicePropertiesProviderContext *ctx, const char *name) {
    bool value;
    memset(&value, kBoolSentinel, sizeof value);
    int rc = GetBoolProperty(ctx, name, &value);
    unsigned char raw;
    memcpy(&raw, &value, sizeof raw);
    if (rc == PROPERTY_OK && raw != 0 && raw != 1) {
        ADD_FAILURE() << name << " wrote the byte " << int(raw) << " as a bool";
    }
    return {rc, raw == 1, raw == kBoolSentinel};
}

Read<int> readInt32(DevicePropertiesProviderContext *ctx, const char *name) {
    int value = kIntSentinel;
    int rc = GetInt32Property(ctx, name, &value);
    return {rc, value, value == kIntSentinel};
}

Read<long long> readInt64(DevicePropertiesProviderContext *ctx, const char *name) {
    long long value = kInt64Sentinel;
    int rc = GetInt64Property(ctx, name, &value);
    return {rc, value, value == kInt64Sentinel};
}

Read<std::string> readString(DevicePropertiesProviderContext *ctx, const char *name, int capacity) {
    std::vector<char> buffer(capacity > 0 ? static_cast<size_t>(capacity) : 1, '#');
    const std::vector<char> before = buffer;
    int size = capacity;
    int rc = GetStringProperty(ctx, name, buffer.data(), &size);
    std::string value = rc == PROPERTY_OK ? std::string(buffer.data()) : std::string();
    return {rc, value, size == capacity && buffer == before};
}

Outcome readAs(Type type, DevicePropertiesProviderContext *ctx, const char *name) {
    switch (type) {
        case Type::Bool: {
            Read<bool> r = readBool(ctx, name);
            return {r.rc, r.untouched};
        }
        case Type::Int32: {
            Read<int> r = readInt32(ctx, name);
            return {r.rc, r.untouched};
        }
        case Type::Int64: {
            Read<long long> r = readInt64(ctx, name);
            return {r.rc, r.untouched};
        }
        case Type::String:
            break;
    }
    Read<std::string> r = readString(ctx, name, kSizeSentinel);
    return {r.rc, r.untouched};
}

const std::vector<Property> &catalogue() {
    static const std::vector<Property> properties = {
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
    return properties;
}

void fakeCommand(const std::string &dir, const std::string &name, const std::string &body) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    const char *old = getenv("PATH");
    const std::string prefix = dir + ":";
    if (!old || std::string(old).compare(0, prefix.size(), prefix) != 0) {
        setenv("PATH", (prefix + (old ? old : "/usr/bin:/bin")).c_str(), 1);
    }
}

std::vector<int> openDescriptors() {
    std::vector<int> fds;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        fds.push_back(std::stoi(entry.path().filename().string()));
    }
    std::sort(fds.begin(), fds.end());
    // The listing's own descriptor is gone again.
    fds.erase(std::remove_if(fds.begin(), fds.end(), [](int fd) { return fcntl(fd, F_GETFD) < 0; }),
              fds.end());
    return fds;
}

}  // namespace velquar_test
