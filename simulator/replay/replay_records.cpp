#include "replay_records.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "shell_lines.h"

namespace velquar_replay {
namespace {

std::string trim(const std::string &s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return std::string();
    }
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The record number of a "shell.N.<field>" key, 0 when it is none.
int shellSlot(const std::string &key, const std::string &field) {
    const std::string head = "shell.";
    if (key.compare(0, head.size(), head) != 0 || key.size() <= head.size() + field.size() + 1 ||
        key.compare(key.size() - field.size(), field.size(), field) != 0 ||
        key[key.size() - field.size() - 1] != '.') {
        return 0;
    }
    const std::string number = key.substr(head.size(), key.size() - head.size() - field.size() - 1);
    if (number.empty() || number.size() > 2 || number[0] == '0') {
        return 0;
    }
    for (char c : number) {
        if (!isdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
    }
    const int n = atoi(number.c_str());
    return n <= kMaxShellRecords ? n : 0;
}

struct Slot {
    std::string command;
    std::string output;
    bool hasCommand = false;
    bool hasOutput = false;
};

}  // namespace

bool decodeHex(const std::string &text, size_t limit, std::string &out) {
    if (text.size() % 2 != 0 || text.size() / 2 > limit) {
        return false;
    }
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes += static_cast<char>(high * 16 + low);
    }
    out = bytes;
    return true;
}

std::string readReplayRecords(const std::string &content, ReplayRecords &out) {
    std::vector<Slot> slots(kMaxShellRecords + 1);
    bool curlRecorded = false;
    std::string curlHex;
    bool hasCurlHex = false;
    std::string configHex;
    std::istringstream in(content);
    for (std::string line; std::getline(in, line);) {
        const std::string t = trim(line);
        const size_t eq = t.find('=');
        if (t.empty() || t[0] == '#' || eq == std::string::npos) {
            continue;
        }
        const std::string key = trim(t.substr(0, eq)), value = trim(t.substr(eq + 1));
        if (const int n = shellSlot(key, "command")) {
            slots[n].command = value;
            slots[n].hasCommand = true;
        } else if (const int m = shellSlot(key, "output.hex")) {
            if (!decodeHex(value, kMaxOutput, slots[m].output)) {
                return key + " is not 0 to " + std::to_string(kMaxOutput) + " bytes as hex digits";
            }
            slots[m].hasOutput = true;
        } else if (key == "curl_ca_bundle_path.set") {
            if (value != "0" && value != "1") {
                return "curl_ca_bundle_path.set is neither 0 nor 1";
            }
            curlRecorded = true;
            out.curlSet = value == "1";
        } else if (key == "curl_ca_bundle_path.hex") {
            curlHex = value;
            hasCurlHex = true;
        } else if (key == "config_path") {
            out.configPath = value;
        } else if (key == "config_path.hex") {
            // The stand-in gives the bytes first place.
            out.configPathHex = true;
            configHex = value;
        }
    }
    if (out.configPathHex) {
        std::string bytes;
        if (!decodeHex(configHex, kMaxOutput, bytes)) {
            return "config_path.hex is not hex digits";
        }
        out.configPath = bytes.substr(0, bytes.find('\0'));
    }
    for (int n = 1; n <= kMaxShellRecords; ++n) {
        if (slots[n].hasCommand != slots[n].hasOutput) {
            return "shell." + std::to_string(n) + " has a command line without output or output " +
                   "without a command line";
        }
        if (slots[n].hasCommand && !out.shell.emplace(slots[n].command, slots[n].output).second) {
            return "the command line of shell." + std::to_string(n) + " is recorded twice";
        }
    }
    for (const char *line : velquar::kShellLines) {
        if (!out.shell.count(line)) {
            return std::string("no record of the output of \"") + line + "\"";
        }
    }
    if (!curlRecorded) {
        return std::string("no record of ") + velquar::kCABundleVariable;
    }
    if (out.curlSet != hasCurlHex ||
        (hasCurlHex && !decodeHex(curlHex, kMaxOutput, out.curlValue)) ||
        out.curlValue.find('\0') != std::string::npos) {
        return std::string("the record of ") + velquar::kCABundleVariable + " is malformed";
    }
    return std::string();
}

}  // namespace velquar_replay
