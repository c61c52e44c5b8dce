// The bundle reader's records over arbitrary capture.state contents:
// readReplayRecords, then the configuration path check against a bundle
// that holds one copy, root/config/sys.ini.
#include <string>

#include "fuzz_support.h"
#include "replay_bundle.h"
#include "replay_records.h"
#include "shell_lines.h"

using namespace velquar_replay;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    ReplayBundle bundle;
    if (!readReplayRecords(input, bundle.records).empty()) {
        return 0;
    }
    // Accepted: every command line the library runs, bounded output, and
    // a variable value that an environment can hold.
    for (const char *line : velquar::kShellLines) {
        FUZZ_CHECK(bundle.records.shell.count(line) == 1);
    }
    FUZZ_CHECK(bundle.records.shell.size() <= static_cast<size_t>(kMaxShellRecords));
    for (const auto &record : bundle.records.shell) {
        FUZZ_CHECK(record.second.size() <= kMaxOutput);
    }
    FUZZ_CHECK(bundle.records.curlSet || bundle.records.curlValue.empty());
    FUZZ_CHECK(bundle.records.curlValue.find('\0') == std::string::npos);

    bundle.files.push_back({"config/sys.ini", "[model]\n"});
    const std::string path = bundle.records.configPath;
    if (!checkConfigPath(bundle).empty()) {
        FUZZ_CHECK(bundle.configName.empty());
        return 0;
    }
    // Accepted: nothing, the one copy, or a plain name beside capture.state.
    FUZZ_CHECK(("/" + path + "/").find("/../") == std::string::npos);
    if (!path.empty() && path[0] == '/') {
        FUZZ_CHECK(path.substr(path.find_first_not_of('/')) == "config/sys.ini");
    } else if (!path.empty()) {
        FUZZ_CHECK(bundle.configName == path && path.find('/') == std::string::npos);
        FUZZ_CHECK(!bundle.records.configPathHex && path != "." && path != "..");
    }
    return 0;
}
