#include "check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <initializer_list>

namespace {

// The answers a rule looks at, by name; every one of them was read.
class Answers {
public:
    explicit Answers(const std::vector<const Reading *> &seen) : m_seen(seen) {}
    const std::string &text(const char *name) const { return find(name).value; }
    long long number(const char *name) const { return strtoll(text(name).c_str(), nullptr, 10); }
    bool flag(const char *name) const { return text(name) == "true"; }

private:
    const Reading &find(const char *name) const {
        for (const Reading *r : m_seen) {
            if (r->name == name) {
                return *r;
            }
        }
        abort();  // a rule asked for a property it does not name
    }
    const std::vector<const Reading *> &m_seen;
};

// Why the answers break the rule; empty when they keep it.
using Test = std::function<std::string(const Answers &)>;

struct Rule {
    const char *name;
    std::vector<const char *> properties;
    Test test;
    // A variable without which the rule has nothing to judge, or null.
    const char *unlessUnset = nullptr;
};

// Printable ASCII and not empty: what a text shown to a person or sent in
// a request must be.
bool printableText(const std::string &text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
    }
    return !text.empty();
}

bool absolutePath(const std::string &path) {
    return printableText(path) && path[0] == '/';
}

// A language tag: a primary language of two or three lowercase letters,
// then subtags of two to eight lowercase letters or digits after hyphens
// ("en", "zh-cn", "ca-valencia").
bool languageTag(const std::string &tag) {
    size_t start = 0;
    for (bool primary = true;; primary = false) {
        const size_t end = std::min(tag.find('-', start), tag.size());
        const size_t length = end - start;
        if (primary ? length < 2 || length > 3 : length < 2 || length > 8) {
            return false;
        }
        for (size_t i = start; i < end; ++i) {
            const char c = tag[i];
            if (!(c >= 'a' && c <= 'z') && (primary || !(c >= '0' && c <= '9'))) {
                return false;
            }
        }
        if (end == tag.size()) {
            return true;
        }
        start = end + 1;
    }
}

std::string deviceIdProblem(const std::string &id) {
    if (id.size() != 12 || id.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return "not twelve lowercase hexadecimal digits";
    }
    if (id == "000000000000") {
        return "a MAC address of zeros";
    }
    // The lowest bit of the first byte marks a group (multicast) address.
    if (strtol(id.substr(0, 2).c_str(), nullptr, 16) & 1) {
        return "a multicast address, which no interface has";
    }
    return "";
}

std::string caProblem(const Answers &a) {
    std::string dir = a.text("CADirectoryPath");
    const std::string bundle = (dir.empty() ? "" : dir) + "/" + a.text("CABundleFileName");
    dir = dir.empty() ? "/" : dir;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || access(dir.c_str(), R_OK | X_OK)) {
        return dir + " is no readable folder";
    }
    if (stat(bundle.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(bundle.c_str(), R_OK)) {
        return bundle + " is no readable file";
    }
    return "";
}

const int kLargestPanel = 16384;  // pixels either way, above any panel made

const Rule kRules[] = {
    {"panel-size",
     {"panelWidth", "panelHeight"},
     [](const Answers &a) -> std::string {
         const long long w = a.number("panelWidth"), h = a.number("panelHeight");
         return w >= 1 && w <= kLargestPanel && h >= 1 && h <= kLargestPanel
                    ? ""
                    : "each side must be 1 to 16384 pixels";
     }},
    {"hdcp-version",
     {"supportsHDCP", "hdcpMajorVersion", "hdcpMinorVersion", "hdcpFullVersion"},
     [](const Answers &a) -> std::string {
         const std::string full = a.text("hdcpFullVersion");
         bool exists = false;
         for (const char *v : {"1.0", "1.1", "1.2", "1.3", "1.4", "2.0", "2.1", "2.2", "2.3"}) {
             exists = exists || full == v;
         }
         if (!exists) {
             return full + " is no HDCP version";
         }
         if (full != a.text("hdcpMajorVersion") + "." + a.text("hdcpMinorVersion")) {
             return "the full version disagrees with the major and minor numbers";
         }
         return a.flag("supportsHDCP") ? "" : "a version without supportsHDCP";
     }},
    {"hdr",
     {"supportsHDR", "hdrFlags", "supportsHEVC10Bits"},
     [](const Answers &a) -> std::string {
         const long long flags = a.number("hdrFlags");
         if (flags < 0 || flags > 2) {
             return "hdrFlags must be 0, 1 or 2";
         }
         if (a.flag("supportsHDR") != (flags != 0)) {
             return "supportsHDR disagrees with hdrFlags";
         }
         return !a.flag("supportsHDR") || a.flag("supportsHEVC10Bits")
                    ? ""
                    : "HDR without HEVC 10-bit decoding";
     }},
    {"hevc",
     {"supportsHEVC", "supportsHEVC10Bits"},
     [](const Answers &a) -> std::string {
         return !a.flag("supportsHEVC10Bits") || a.flag("supportsHEVC")
                    ? ""
                    : "HEVC 10-bit decoding without HEVC";
     }},
    {"device-id",
     {"deviceId"},
     [](const Answers &a) { return deviceIdProblem(a.text("deviceId")); }},
    {"device-language",
     {"deviceLanguage"},
     [](const Answers &a) -> std::string {
         return languageTag(a.text("deviceLanguage")) ? "" : "not a language tag";
     }},
    {"http-proxy",
     {"httpProxyHost", "httpProxyPort"},
     [](const Answers &a) -> std::string {
         const long long port = a.number("httpProxyPort");
         if (port < 0 || port > 65535) {
             return "the port must be 0 to 65535";
         }
         return port == 0 || !a.text("httpProxyHost").empty() ? "" : "a port without a host";
     }},
    {"memory",
     {"totalMemory", "availableMemory"},
     [](const Answers &a) -> std::string {
         const long long total = a.number("totalMemory"), available = a.number("availableMemory");
         if (total <= 0) {
             return "no total memory";
         }
         return available >= 0 && available <= total ? ""
                                                     : "available memory must be 0 to the total";
     }},
    {"device-config",
     {"deviceMode", "platformPackageVersion", "deviceTypeId"},
     [](const Answers &a) -> std::string {
         if (a.number("deviceMode") != 0 && a.number("deviceMode") != 1) {
             return "deviceMode must be 0 (prod) or 1 (dev)";
         }
         return printableText(a.text("platformPackageVersion")) &&
                        printableText(a.text("deviceTypeId"))
                    ? ""
                    : "the package version and the device type must be printable texts";
     }},
    {"playback-flags",
     {"supportsIntraChunkSeeking", "supportsDASH", "supportsCVBR", "supportsSurroundSound",
      "supportsAudioCodecSwitching", "hasExternalOutput"},
     [](const Answers &) { return std::string(); }},
    {"fragment-cache",
     {"fragmentCacheSize", "fragmentCacheMountPoint"},
     [](const Answers &a) -> std::string {
         if (a.number("fragmentCacheSize") <= 0) {
             return "the cache size must be positive";
         }
         return absolutePath(a.text("fragmentCacheMountPoint")) ? ""
                                                                : "the mount point must be a path "
                                                                  "from the root";
     }},
    {"update-frequency",
     {"updateFrequency"},
     [](const Answers &a) -> std::string {
         return a.number("updateFrequency") > 0 ? "" : "must be positive";
     }},
    {"bandwidth-file",
     {"bandwidthEstimateFilePath"},
     [](const Answers &a) -> std::string {
         return absolutePath(a.text("bandwidthEstimateFilePath")) ? ""
                                                                  : "must be a path from the root";
     }},
    // The CA location is optional: without the variable the library has
    // none to report, and the application uses its own.
    {"ca-bundle", {"CADirectoryPath", "CABundleFileName"}, caProblem, "CURL_CA_BUNDLE_PATH"},
    {"identity",
     {"manufacturer", "modelName", "chipset", "firmwareVersion"},
     [](const Answers &a) -> std::string {
         for (const char *name : {"manufacturer", "modelName", "chipset", "firmwareVersion"}) {
             if (!printableText(a.text(name))) {
                 return std::string(name) + " must be a printable text";
             }
         }
         return "";
     }},
};

}  // namespace

std::vector<Verdict> judge(const std::vector<Reading> &readings) {
    std::vector<Verdict> verdicts;
    for (const Rule &rule : kRules) {
        Verdict v{rule.name, true, {}, std::string()};
        std::string unread;
        for (const char *name : rule.properties) {
            for (const Reading &r : readings) {
                if (r.name == name) {
                    v.seen.push_back(&r);
                }
            }
            if (v.seen.empty() || v.seen.back()->name != name ||
                v.seen.back()->result != PROPERTY_OK) {
                unread += (unread.empty() ? "" : ", ") + std::string(name);
            }
        }
        if (rule.unlessUnset && !getenv(rule.unlessUnset)) {
            v.note = std::string(rule.unlessUnset) + " is not set";
        } else if (!unread.empty()) {
            v.pass = false;
            v.note = "cannot read " + unread;
        } else {
            v.note = rule.test(Answers(v.seen));
            v.pass = v.note.empty();
        }
        verdicts.push_back(v);
    }
    return verdicts;
}
