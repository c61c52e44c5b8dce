// The configuration store: path from the IPC service, one load with
// iniparser, typed look-ups that convert the stored text afresh each time.
#include "brennic_setting.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

#include "app_ipc.h"
#include "cancellation.h"
#include "ini_file.h"
#include "platform_calls.h"

namespace velquar {
namespace {

// The key's text, or null when the key is absent or names an entry without
// a value (a section, for instance "[PlaybackMisc:FragmentCacheSize]").
// iniparser's own integer and boolean look-ups dereference such a null
// value, so every look-up searches here, once, and converts the text the
// way those look-ups do.
const char *findValue(const dictionary *dict, const std::string &key) {
    return dict ? iniparser_getstring(dict, key.c_str(), nullptr) : nullptr;
}

// The one load and fork. The load calls code that is not the library's:
// the platform's service that names the file, and the application's
// std::cout buffer for the path line. Either may wait for another thread
// that forks (an IPC client's worker starting a helper; a logging buffer
// whose own fork handler takes its mutex), so the load holds no lock, and
// fork waits for nothing of the library's. g_load tells threads apart:
// one moves it from kNotLoaded to kLoading and runs the load; the others
// sleep on it (a futex) until it leaves kLoading.
//
// A child's one thread is the one that forked. When that was the loader
// (a platform library may fork), the child goes on with the load; when it
// was another thread, the load in progress has no thread in the child to
// end it, so the child starts it afresh at its first read.
enum : int { kNotLoaded = 0, kLoading = 1, kLoaded = 2 };
std::atomic<int> g_load{kNotLoaded};
static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free,
              "g_load is a futex word");
thread_local bool t_loading = false;
std::atomic<BrennicSetting *> g_instance{nullptr};
// The instance's storage: constructed in place on first use, so that a
// child can construct it again over a load its parent left half done.
alignas(BrennicSetting) unsigned char g_storage[sizeof(BrennicSetting)];

int *loadWord() {
    return reinterpret_cast<int *>(&g_load);
}

void startAfreshInChild() {
    if (!t_loading && g_load.load(std::memory_order_relaxed) == kLoading) {
        g_load.store(kNotLoaded, std::memory_order_relaxed);
    }
}

// Registered when the library is loaded, before any thread can load the
// store; unloading the library removes it with it.
[[maybe_unused]] const int g_forkHandler = pthread_atfork(nullptr, nullptr, startAfreshInChild);

// As for a function's static object, the instance stays found after this
// (with no private part, every look-up answers false); it is not built again.
void destroyInstance() {
    g_instance.load(std::memory_order_acquire)->~BrennicSetting();
}

// Marks the calling thread as the loader while it lives; an exception out
// of the construction leaves the store not loaded, for the next call.
class LoadRun {
public:
    LoadRun() { t_loading = true; }
    ~LoadRun() {
        t_loading = false;
        if (g_load.load(std::memory_order_relaxed) == kLoading) {
            g_load.store(kNotLoaded, std::memory_order_release);
        }
        syscall(SYS_futex, loadWord(), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
    }
    LoadRun(const LoadRun &) = delete;
    LoadRun &operator=(const LoadRun &) = delete;
};

// Writes one line to the standard output stream through its buffer, in
// order with what the application wrote before, without touching the
// stream itself: its state, exception mask and width stay as the
// application left them, whatever the write meets (a full non-blocking
// pipe, a closed descriptor), and a failed write throws nothing.
void announce(const char *head, const std::string &path) {
    std::streambuf *out = std::cout.rdbuf();
    if (!out) {
        return;
    }
    try {
        out->sputn(head, static_cast<std::streamsize>(strlen(head)));
        out->sputn(path.data(), static_cast<std::streamsize>(path.size()));
        out->sputc('\n');
        out->pubsync();
    } catch (...) {
        // A buffer of the application's own that throws; the load runs
        // with cancellation held off, so this is no thread's unwinding.
    }
}

}  // namespace

BrennicSetting &BrennicSetting::Get() {
    for (;;) {
        if (BrennicSetting *loaded = g_instance.load(std::memory_order_acquire)) {
            return *loaded;
        }
        int seen = kNotLoaded;
        if (g_load.compare_exchange_strong(seen, kLoading, std::memory_order_acquire)) {
            break;
        }
        if (seen == kLoading) {
            // Not a cancellation point; a signal or a spurious wake looks again.
            syscall(SYS_futex, loadWord(), FUTEX_WAIT_PRIVATE, kLoading, nullptr, nullptr, 0);
        }
    }
    LoadRun run;
    BrennicSetting *instance = new (g_storage) BrennicSetting;
    // Destroyed at exit, or when the library is unloaded, as a function's
    // static object would be.
    atexit(destroyInstance);
    g_instance.store(instance, std::memory_order_release);
    g_load.store(kLoaded, std::memory_order_release);
    return *instance;
}

BrennicSetting::BrennicSetting() : m_pPrivate(new BrennicSettingPrivate) {}

BrennicSetting::~BrennicSetting() {
    m_pPrivate.reset();
}

bool BrennicSetting::GetBoolean(const std::string &key, bool &value) {
    return m_pPrivate && m_pPrivate->GetBoolean(key, value);
}

bool BrennicSetting::GetInt(const std::string &key, int &value) {
    return m_pPrivate && m_pPrivate->GetInt(key, value);
}

bool BrennicSetting::GetString(const std::string &key, std::string &value) {
    return m_pPrivate && m_pPrivate->GetString(key, value);
}

BrennicSetting::BrennicSettingPrivate::BrennicSettingPrivate() : m_pDict(nullptr) {
    // The one load of the process runs to its end: a cancellation meanwhile
    // would leave the standard output stream failed in the middle of the
    // announcement, for the whole application.
    CancellationHeldOff held;
    char buffer[APPIPC_CONFIG_PATH_SIZE] = {};
    std::string path;
    int32_t rc = AppIpcApi_GetAPPConfigFilePath(kApplicationId, buffer);
    if (rc != 0) {
        printf("AppIpcApi_GetAPPConfigFilePath() failed (code:%d) \n", rc);
    } else {
        // The service is not told the buffer's size and may fill all of it
        // without a terminating NUL; the last byte is never taken.
        path.assign(buffer, strnlen(buffer, sizeof buffer - 1));
    }
    if (path.empty()) {
        path = kDefaultConfigPath;
    }
    announce("Orvane Palomir config path: ", path);
    m_pDict = loadIniFile(path.c_str());
    if (!m_pDict) {
        announce("BrennicSettingPrivate Failed to load ", path);
    }
}

BrennicSetting::BrennicSettingPrivate::~BrennicSettingPrivate() {
    if (m_pDict) {
        iniparser_freedict(m_pDict);
        m_pDict = nullptr;
    }
}

bool BrennicSetting::BrennicSettingPrivate::GetBoolean(const std::string &key, bool &value) {
    const char *text = findValue(m_pDict, key);
    if (!text) {
        return false;
    }
    // iniparser_getboolean's reading of the text, without searching again.
    switch (text[0]) {
        case 'y':
        case 'Y':
        case 't':
        case 'T':
        case '1':
            value = true;
            return true;
        case 'n':
        case 'N':
        case 'f':
        case 'F':
        case '0':
            value = false;
            return true;
        default:
            return false;
    }
}

bool BrennicSetting::BrennicSettingPrivate::GetInt(const std::string &key, int &value) {
    const char *text = findValue(m_pDict, key);
    if (!text) {
        return false;
    }
    // iniparser_getint's conversion of the text, without searching again.
    const int result = static_cast<int>(strtol(text, nullptr, 0));
    if (result == -1) {
        return false;
    }
    value = result;
    return true;
}

bool BrennicSetting::BrennicSettingPrivate::GetString(const std::string &key, std::string &value) {
    const char *text = findValue(m_pDict, key);
    if (!text) {
        return false;
    }
    value = text;
    return true;
}

}  // namespace velquar
