// Reading a bundle for a complete replay. A bundle comes from a television
// that may be faulty or hostile: it is read bounded and by descriptor, one
// name at a time, and nothing in it that is not a plain folder or regular
// file is used, so no link, FIFO or device in it leads anywhere.
#ifndef VELQUAR_REPLAY_BUNDLE_H
#define VELQUAR_REPLAY_BUNDLE_H

#include <string>
#include <vector>

#include "replay_records.h"

namespace velquar_replay {

constexpr size_t kMaxStateSize = 4 << 20;  // capture.state
constexpr size_t kMaxCopySize = 1 << 20;   // each copy under root/
constexpr size_t kMaxEntries = 256;        // folders and files under root/
constexpr size_t kMaxDepth = 16;           // folders below root/
constexpr size_t kMaxTotal = 32 << 20;     // all copies together

struct BundleFile {
    std::string path;  // below root/, "config/sys.ini"
    std::string data;
};

struct ReplayBundle {
    std::string state;  // capture.state's text
    ReplayRecords records;
    std::vector<std::string> folders;  // below root/, each after its parent
    std::vector<BundleFile> files;
    // The configuration file the state names beside itself, when there is one.
    std::string configName;
    std::string configData;
    bool hasConfig = false;
};

// Reads the bundle folder at path. Empty when it can be replayed; otherwise
// why not, as one sentence.
std::string readBundle(const std::string &path, ReplayBundle &out);

// Why the configuration path the records name cannot be replayed from the
// bundle's copies (a path that leads out of it), or empty. A relative text
// names a file beside capture.state, which configName then holds.
std::string checkConfigPath(ReplayBundle &bundle);

}  // namespace velquar_replay

#endif
