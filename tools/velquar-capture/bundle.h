// The bundle: a new folder with the state file, the application's
// configuration file beside it and copies of the device's files under
// root/, at their paths there.
#ifndef VELQUAR_CAPTURE_BUNDLE_H
#define VELQUAR_CAPTURE_BUNDLE_H

#include <set>
#include <string>

#include "calls.h"

extern const char kStateName[];
extern const char kConfigName[];

// A new file in the bundle; the bundle's folders are all this run's own.
// With keepMode 0 or more, a copy: its permission bits are keepMode's
// (set-user-ID and the like dropped), not the umask's; owner and group are
// the running user's.
bool writeNewFile(int dir, const std::string &name, const std::string &data, int keepMode = -1);

// The bundle folder: the state file, the application's configuration file
// and copies of the device's files under root/, at their paths there.
class Bundle {
public:
    // Opens the folder that path is to be made in and checks that nothing
    // stands at path yet; false (errno set) when it cannot be made there.
    bool reserve(const std::string &path);
    // Makes the folder and its root/, and works through the folder opened
    // from then on. Only its owner may enter it: a device file the chain
    // names may be anybody's. False (errno set, or replaced() true when
    // what was opened is not the folder just made) when it could not.
    bool create();
    bool replaced() const { return m_replaced; }
    // Removes the folder made and everything in it, for a capture that
    // failed.
    void remove();
    ~Bundle();
    int dir() const { return m_dir; }

    // The value of key in the INI file copied to root/ + path, read through
    // the folder's descriptor, whatever has become of its path meanwhile.
    std::string iniValue(const std::string &path, const char *key) const;

    // Copies the device file at an absolute path to root/ + path; false
    // when it was not copied. A path with "." or ".." in it is not.
    bool copyToRoot(const std::string &path);

private:
    static bool note(const std::string &path, const std::string &what, bool copied);

    int m_parent = -1;
    std::string m_name;
    int m_dir = -1;
    bool m_replaced = false;
    std::set<std::string> m_copied;
};

// Copies the application's configuration file beside the state file and
// the device files the library reads under root/. True when config.ini
// holds the application's configuration file.
bool fillBundle(Bundle &bundle, const Findings &found);

#endif
