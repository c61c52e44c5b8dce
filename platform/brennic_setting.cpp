// The configuration store: path from the IPC service, one load with
// iniparser, typed look-ups that convert the stored text afresh each time.
#include "brennic_setting.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

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

// The one load and fork. Every construction of the store runs under
// g_loadLock, and fork takes the lock first: so a child is never forked
// while another thread is half way through the load, which would leave the
// child's store for ever under construction. The thread that runs the load
// may itself fork (a platform library may): it does not wait for itself,
// and its child, whose one thread it is, goes on with the load. The C
// library runs one fork's handlers at a time, so one flag serves them.
pthread_mutex_t g_loadLock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<BrennicSetting *> g_instance{nullptr};
std::atomic<pid_t> g_loader{0};  // the thread running the load, 0 when none
std::atomic<bool> g_lockedForFork{false};

void lockBeforeFork() {
    if (!g_instance.load(std::memory_order_acquire) &&
        g_loader.load(std::memory_order_relaxed) != gettid()) {
        pthread_mutex_lock(&g_loadLock);
        g_lockedForFork.store(true, std::memory_order_relaxed);
    }
}

void unlockInParent() {
    if (g_lockedForFork.exchange(false, std::memory_order_relaxed)) {
        pthread_mutex_unlock(&g_loadLock);
    }
}

// The child's one thread is the one that forked: it unlocks what it locked
// before the fork, or, when it was running the load, goes on as the loader.
void unlockInChild() {
    if (g_lockedForFork.exchange(false, std::memory_order_relaxed)) {
        pthread_mutex_unlock(&g_loadLock);
    } else if (g_loader.load(std::memory_order_relaxed) != 0) {
        g_loader.store(gettid(), std::memory_order_relaxed);
    }
}

// Registered when the library is loaded, before any thread can load the
// store; unloading the library removes the handlers with it.
[[maybe_unused]] const int g_forkHandlers =
    pthread_atfork(lockBeforeFork, unlockInParent, unlockInChild);

class LoadLock {
public:
    LoadLock() {
        pthread_mutex_lock(&g_loadLock);
        g_loader.store(gettid(), std::memory_order_relaxed);
    }
    ~LoadLock() {
        g_loader.store(0, std::memory_order_relaxed);
        pthread_mutex_unlock(&g_loadLock);
    }
    LoadLock(const LoadLock &) = delete;
    LoadLock &operator=(const LoadLock &) = delete;
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
    if (BrennicSetting *loaded = g_instance.load(std::memory_order_acquire)) {
        return *loaded;
    }
    LoadLock lock;
    static BrennicSetting instance;
    g_instance.store(&instance, std::memory_order_release);
    return instance;
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
