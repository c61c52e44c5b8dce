// The configuration store: read access to the streaming application's INI
// configuration file, whose location the application IPC service names.
//
// One instance per process, created on the first Get(). It loads the file
// once and then answers look-ups by "Section:Key" names; the file is not
// read again, and a file that failed to load is not retried.
#ifndef VELQUAR_BRENNIC_SETTING_H
#define VELQUAR_BRENNIC_SETTING_H

#include <iniparser.h>

#include <memory>
#include <string>

// Both classes are part of the library's exported symbols.
#define VELQUAR_STORE_API __attribute__((visibility("default")))

namespace velquar {

class VELQUAR_STORE_API BrennicSetting {
public:
    // The single instance; the first call constructs it, thread-safely, and
    // loads the file. Memory exhaustion during that propagates, and the
    // next call tries again.
    static BrennicSetting &Get();

    BrennicSetting();
    ~BrennicSetting();
    BrennicSetting(const BrennicSetting &) = delete;
    BrennicSetting &operator=(const BrennicSetting &) = delete;

    // Each look-up returns true and writes value when the key holds a value
    // of its form; otherwise returns false and leaves value alone.
    bool GetBoolean(const std::string &key, bool &value);
    bool GetInt(const std::string &key, int &value);
    bool GetString(const std::string &key, std::string &value);

    class BrennicSettingPrivate;

private:
    std::unique_ptr<BrennicSettingPrivate> m_pPrivate;
};

// Owns the loaded dictionary; m_pDict is null when the file failed to load.
class VELQUAR_STORE_API BrennicSetting::BrennicSettingPrivate {
public:
    // Resolves the path, announces it and loads the file. Never fails.
    BrennicSettingPrivate();
    ~BrennicSettingPrivate();
    BrennicSettingPrivate(const BrennicSettingPrivate &) = delete;
    BrennicSettingPrivate &operator=(const BrennicSettingPrivate &) = delete;

    // y/Y/t/T/1 read as true, n/N/f/F/0 as false; anything else as missing.
    bool GetBoolean(const std::string &key, bool &value);
    // C notation (0x hexadecimal, leading-0 octal); -1 reads as missing.
    bool GetInt(const std::string &key, int &value);
    // The text as stored; an empty value is a value.
    bool GetString(const std::string &key, std::string &value);

private:
    dictionary *m_pDict;
};

}  // namespace velquar

#endif
