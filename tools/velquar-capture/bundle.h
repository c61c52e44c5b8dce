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

// Writes all of data to fd; false (errno set) when it could not.
bool writeAll(int fd, const std::string &data);

// A new file in the bundle; the bundle's folders are all this run's own.
bool writeNewFile(int dir, const std::string &name, const std::string &data);

// The bundle folder: the state file, the application's configuration file
// and copies of the device's files under root/, at their paths there.
class Bundle {
public:
    // Makes the folder, which must not exist yet, and its root/. Only its
    // owner may enter it: a device file the chain names may be anybody's.
    bool create(const std::string &path);
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

    int m_dir = -1;
    std::set<std::string> m_copied;
};

// Copies the application's configuration file beside the state file and
// the device files the library reads under root/. True when config.ini
// holds the application's configuration file.
bool fillBundle(Bundle &bundle, const Findings &found);

#endif
