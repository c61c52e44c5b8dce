// The records of a complete replay in a captured state file: each shell
// command line the library runs with its recorded output, the certificate
// bundle variable, and the configuration path the library is given.
#ifndef VELQUAR_REPLAY_RECORDS_H
#define VELQUAR_REPLAY_RECORDS_H

#include <cstddef>
#include <map>
#include <string>

namespace velquar_replay {

// The most output one record holds, and the most records a file holds.
constexpr size_t kMaxOutput = 4096;
constexpr int kMaxShellRecords = 16;

struct ReplayRecords {
    std::map<std::string, std::string> shell;  // command line -> its output
    bool curlSet = false;
    std::string curlValue;
    // The configuration path the stand-in gives the library, as the file
    // says it ("config_path" as text, "config_path.hex" as bytes up to the
    // first NUL); configPathHex tells the two apart.
    std::string configPath;
    bool configPathHex = false;
};

// Reads the records from a state file's text. Empty when every command line
// the library runs and the variable are recorded; otherwise what is wrong
// or missing, as one sentence.
std::string readReplayRecords(const std::string &content, ReplayRecords &out);

// Bytes from an even number of hex digits, at most limit bytes; false when
// malformed or too long.
bool decodeHex(const std::string &text, size_t limit, std::string &out);

}  // namespace velquar_replay

#endif
