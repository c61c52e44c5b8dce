// Test helpers: a simulated television per test, contexts that release
// themselves, and reads that show whether a failed read left its out
// variable alone.
#ifndef VELQUAR_TESTS_SIM_DEVICE_H
#define VELQUAR_TESTS_SIM_DEVICE_H

#include <functional>
#include <string>
#include <vector>

#include "velquar_platform.h"

namespace velquar_test {

// A state file and a call log in a fresh temporary directory, named to the
// stand-in libraries through VELQUAR_SIM_STATE and VELQUAR_SIM_LOG. Create
// it before the context: the stand-ins read both names on every call.
class SimDevice {
public:
    explicit SimDevice(const std::string &state = std::string());
    ~SimDevice();
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    // Replaces the state file; the next platform call sees the new device.
    void setState(const std::string &state);
    // Every line logged so far, and those that begin with prefix.
    std::vector<std::string> log() const;
    std::vector<std::string> calls(const std::string &prefix) const;
    void clearLog();
    const std::string &dir() const { return m_dir; }

private:
    std::string m_dir;
    std::string m_statePath;
    std::string m_logPath;
};

// What fn writes to standard output, the library's printf lines included.
std::string captureStdout(const std::function<void()> &fn);

// A context created on construction (its standard output captured into
// *output when given) and released on destruction unless released before.
class Context {
public:
    explicit Context(std::string *output = nullptr);
    ~Context();
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    int rc() const { return m_rc; }
    DevicePropertiesProviderContext *get() const { return m_ctx; }
    int release();

private:
    int m_rc = -1;
    DevicePropertiesProviderContext *m_ctx = nullptr;
};

// Out variables start as these sentinels; the bool sentinel is a byte that
// is neither 0 nor 1, so a write of either value shows.
constexpr unsigned char kBoolSentinel = 0x5A;
constexpr int kIntSentinel = 0x5A5A5A5A;
constexpr long long kInt64Sentinel = 0x5A5A5A5A5A5A5A5ALL;
constexpr int kSizeSentinel = 77;

template <typename T>
struct Read {
    int rc;
    T value;         // meaningful only when rc is PROPERTY_OK
    bool untouched;  // the out variable still holds its sentinel
};

// A bool read also fails the test when a success writes a byte other than 0 or 1.
Read<bool> readBool(DevicePropertiesProviderContext *ctx, const char *name);
Read<int> readInt32(DevicePropertiesProviderContext *ctx, const char *name);
Read<long long> readInt64(DevicePropertiesProviderContext *ctx, const char *name);
// A string read with a buffer of capacity bytes; untouched covers size and buffer.
Read<std::string> readString(DevicePropertiesProviderContext *ctx, const char *name,
                             int capacity = 256);

enum class Type { Bool, Int32, Int64, String };
struct Outcome {
    int rc;
    bool untouched;
};
// Reads name through the function for type, keeping only code and sentinel state.
Outcome readAs(Type type, DevicePropertiesProviderContext *ctx, const char *name);

struct Property {
    const char *name;
    Type type;
};
// The 49 properties of the interface with their types, in catalogue order.
const std::vector<Property> &catalogue();

// Writes an executable script dir/name running body with /bin/sh and puts
// dir first on PATH, where the library's shell commands find it.
void fakeCommand(const std::string &dir, const std::string &name, const std::string &body);

// The descriptors open in this process, in increasing order.
std::vector<int> openDescriptors();

}  // namespace velquar_test

#endif
