// The configuration store: path from the IPC service, one load with
// iniparser, typed look-ups that convert the stored text afresh each time.
#include "brennic_setting.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "app_ipc.h"
#include "cancellation.h"
#include "ini_file.h"

namespace velquar {
namespace {

const int32_t kApplicationId = 5;
const char kDefaultConfigPath[] = "/cusdata/applications/Orvane/config.ini";

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
// may itself fork (a platform library may): it does not wait for itself.
pthread_mutex_t g_loadLock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<BrennicSetting *> g_instance{nullptr};
thread_local bool t_loading = false;
thread_local bool t_lockedForFork = false;

void lockBeforeFork() {
    if (!t_loading && !g_instance.load(std::memory_order_acquire)) {
        pthread_mutex_lock(&g_loadLock);
        t_lockedForFork = true;
    }
}

void unlockAfterFork() {
    if (t_lockedForFork) {
        t_lockedForFork = false;
        pthread_mutex_unlock(&g_loadLock);
    }
}

// Registered when the library is loaded, before any thread can load the
// store; unloading the library removes the handlers with it.
[[maybe_unused]] const int g_forkHandlers =
    pthread_atfork(lockBeforeFork, unlockAfterFork, unlockAfterFork);

class LoadLock {
public:
    LoadLock() {
        pthread_mutex_lock(&g_loadLock);
        t_loading = true;
    }
    ~LoadLock() {
        t_loading = false;
        pthread_mutex_unlock(&g_loadLock);
    }
    LoadLock(const LoadLock &) = delete;
    LoadLock &operator=(const LoadLock &) = delete;
};

// Writes one line to the standard output stream and leaves the stream as
// the application had it: its state and exception mask are put back
// whatever the write met (a full non-blocking pipe, a closed descriptor),
// and nothing is thrown. A stream the application left failed is cleared
// for the line only.
void announce(const char *head, const std::string &path) {
    std::ostream &out = std::cout;
    const std::ios_base::iostate state = out.rdstate();
    const std::ios_base::iostate mask = out.exceptions();
    out.exceptions(std::ios_base::goodbit);
    out.clear();
    out << head << path << std::endl;
    out.clear(state);
    try {
        // Throws only when the application's own state already matched its
        // mask; both are back in place by then.
        out.exceptions(mask);
    } catch (const std::exception &) {
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
