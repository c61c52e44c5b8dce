// The shell command lines the library runs, and the environment it runs
// them in. velquar-capture runs the same lines the same way to record
// their output, so the two cannot drift apart.
#ifndef VELQUAR_SHARED_SHELL_LINES_H
#define VELQUAR_SHARED_SHELL_LINES_H

#include <cstddef>
#include <cstring>
#include <vector>

namespace velquar {

// Each is run as "/bin/sh -c LINE"; the library keeps the first line printed.
constexpr const char kOsNameLine[] = "uname -o";
constexpr const char kOsVersionLine[] = "uname -a";
constexpr const char kTotalMemoryLine[] = "free | grep Mem | awk '{print $2}'";
constexpr const char kAvailableMemoryLine[] = "free | grep Mem | awk '{print $4}'";
constexpr const char kWirelessQualityLine[] = "cat /proc/net/wireless | awk 'NR==3 {print $3}'";

constexpr const char *const kShellLines[] = {kOsNameLine, kOsVersionLine, kTotalMemoryLine,
                                             kAvailableMemoryLine, kWirelessQualityLine};
constexpr size_t kShellLineCount = sizeof kShellLines / sizeof kShellLines[0];

// The environment variable that names the certificate bundle.
constexpr const char kCABundleVariable[] = "CURL_CA_BUNDLE_PATH";

// The shell's environment: env's entries, in the C locale, so that what
// the commands print (free's "Mem:" line) does not depend on the user's
// language. The pointers are env's, but for the locale entry; the list ends
// in a null pointer.
inline std::vector<char *> shellEnvironment(char **env) {
    static char cLocale[] = "LC_ALL=C";
    std::vector<char *> out;
    for (char **entry = env; entry && *entry; ++entry) {
        if (strncmp(*entry, "LC_ALL=", 7) != 0) {
            out.push_back(*entry);
        }
    }
    out.push_back(cLocale);
    out.push_back(nullptr);
    return out;
}

}  // namespace velquar

#endif
