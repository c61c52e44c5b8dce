// Parsing the state file: its "key = value" lines and the form each key's
// value must have.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "sim_state.h"
#include "sim_state_parts.h"

namespace velquar_sim {
namespace {

std::string trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return std::string();
    }
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The shell records a state file may hold: shell.1 to shell.16.
constexpr int kShellRecordSlots = 16;

// What a key's value must be for the stand-ins to use it.
enum class Kind {
    Text,      // any text
    Number,    // one 32-bit number, signed or unsigned
    Byte,      // one number from -128 to 255
    Sequence,  // 32-bit numbers separated by blanks or commas
    Hex,       // exactly size bytes of hex
    HexUpTo,   // 1 to size bytes of hex
    Bytes,     // 0 to size bytes of hex
    Moment,    // when the resource manager delivers its messages
    Messages,  // the resource manager's messages: "CODE [TEXT] | ..."
};

struct KeyKind {
    Kind kind;
    size_t size;
};

// Every key a stand-in reads.
const std::map<std::string, KeyKind> &knownKeys() {
    static const std::map<std::string, KeyKind> keys = [] {
        std::map<std::string, KeyKind> k = {
            {"hdcp_version", {Kind::Number, 0}},
            {"input_source", {Kind::Sequence, 0}},
            {"capability.panel_width", {Kind::Number, 0}},
            {"capability.panel_height", {Kind::Number, 0}},
            {"capability.hdr_flag1", {Kind::Byte, 0}},
            {"capability.hdr_flag2", {Kind::Byte, 0}},
            {"capability.byte10", {Kind::Byte, 0}},
            {"capability.hevc", {Kind::Byte, 0}},
            {"capability.byte12", {Kind::Byte, 0}},
            {"capability.hex", {Kind::HexUpTo, 16}},
            {"audio.passthrough", {Kind::Byte, 0}},
            {"audio.hex", {Kind::HexUpTo, 24}},
            {"medium", {Kind::Number, 0}},
            {"language", {Kind::Number, 0}},
            {"mac", {Kind::Hex, 6}},
            {"proxy", {Kind::Text, 0}},
            {"proxy.hex", {Kind::Hex, 32}},
            {"config_path", {Kind::Text, 0}},
            {"config_path.fill", {Kind::Text, 0}},
            {"config_path.hex", {Kind::HexUpTo, 4096}},
            {"mmplayer.decoder_capability", {Kind::Number, 0}},
            {"mmplayer.option.hex", {Kind::Hex, 32}},
            {"apm.messages", {Kind::Messages, 0}},
            {"apm.deliver", {Kind::Moment, 0}},
            {"apm.other_entries", {Kind::Number, 0}},
            {"apm.is_resource_owner", {Kind::Number, 0}},
            {"teec.open_session.origin", {Kind::Number, 0}},
            {"teec.invoke.origin", {Kind::Number, 0}},
            // Recorded for a complete replay (velquar-sim --bundle); the
            // stand-ins do not answer from them.
            {"curl_ca_bundle_path.set", {Kind::Number, 0}},
            {"curl_ca_bundle_path.hex", {Kind::Bytes, 4096}},
        };
        for (int n = 1; n <= kShellRecordSlots; ++n) {
            const std::string shell = "shell." + std::to_string(n);
            k[shell + ".command"] = {Kind::Text, 0};
            k[shell + ".output.hex"] = {Kind::Bytes, 4096};
        }
        const char *const calls[] = {
            "hdcp_version",
            "input_source",
            "capability",
            "audio",
            "medium",
            "language",
            "mac",
            "proxy",
            "customer",
            "config_path",
            "mmplayer.initialize",
            "mmplayer.get_option",
            "mmplayer.finalize",
            "apm.join",
            "apm.leave",
            "teec.initialize",
            "teec.open_session",
            "teec.invoke",
        };
        for (const char *call : calls) {
            k[std::string(call) + ".result"] = {Kind::Number, 0};
        }
        const std::pair<const char *, size_t> fields[] = {{"model_name", 768},
                                                          {"manufacturer", 1280},
                                                          {"chipset", 1024},
                                                          {"firmware_version", 1024}};
        for (const auto &field : fields) {
            const std::string key = std::string("customer.") + field.first;
            k[key] = {Kind::Text, 0};
            k[key + ".fill"] = {Kind::Text, 0};
            k[key + ".unterminated"] = {Kind::Text, 0};
            k[key + ".unwritten"] = {Kind::Number, 0};
            k[key + ".hex"] = {Kind::HexUpTo, field.second};
        }
        return k;
    }();
    return keys;
}

// True when text is one whole number from low to high.
bool wholeNumber(const std::string &text, long long low, long long high) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    long long v = strtoll(text.c_str(), &end, 0);
    if (errno == ERANGE || *end != '\0' || end == text.c_str()) {
        return false;
    }
    return v >= low && v <= high;
}

bool wholeNumber32(const std::string &text) {
    return wholeNumber(text, INT32_MIN, UINT32_MAX);
}

// Why a key's value cannot be used, or empty when it can.
std::string unreadable(const KeyKind &k, const std::string &value) {
    switch (k.kind) {
        case Kind::Text:
            return std::string();
        case Kind::Number:
            return wholeNumber32(value) ? std::string() : "a 32-bit number";
        case Kind::Byte:
            return wholeNumber(value, -128, 255) ? std::string() : "a number from -128 to 255";
        case Kind::Sequence: {
            const std::vector<std::string> items = sequenceItems(value);
            const bool numbers =
                !items.empty() && std::all_of(items.begin(), items.end(), wholeNumber32);
            return numbers ? std::string() : "32-bit numbers separated by blanks or commas";
        }
        case Kind::Hex: {
            std::vector<unsigned char> bytes(k.size);
            return parseHex(value, bytes.data(), k.size)
                       ? std::string()
                       : std::to_string(k.size) + " bytes as hex digits";
        }
        case Kind::HexUpTo: {
            std::vector<unsigned char> bytes(k.size);
            return parseHexUpTo(value, bytes.data(), k.size) != 0
                       ? std::string()
                       : "1 to " + std::to_string(k.size) + " bytes as hex digits";
        }
        case Kind::Bytes: {
            std::vector<unsigned char> bytes(k.size);
            return value.empty() || parseHexUpTo(value, bytes.data(), k.size) != 0
                       ? std::string()
                       : "0 to " + std::to_string(k.size) + " bytes as hex digits";
        }
        case Kind::Moment:
            return value == "join" || value == "is_resource_owner" || value == "thread" ||
                           value == "leave"
                       ? std::string()
                       : "join, is_resource_owner, thread or leave";
        case Kind::Messages: {
            std::string all = value + "|";
            for (size_t start = 0, bar; (bar = all.find('|', start)) != std::string::npos;
                 start = bar + 1) {
                const std::string item = trim(all.substr(start, bar - start));
                if (!item.empty() && !wholeNumber32(item.substr(0, item.find_first_of(" \t")))) {
                    return "messages \"CODE TEXT\" or \"CODE\" separated by |";
                }
            }
            return std::string();
        }
    }
    return std::string();
}

}  // namespace

// The values of a state file, and what in it the stand-ins cannot use.
std::map<std::string, std::string> parseState(const std::string &name, const std::string &content,
                                              std::vector<std::string> &problems) {
    std::map<std::string, std::string> values;
    std::istringstream in(content);
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') {
            continue;
        }
        const std::string where = shown(name) + ":" + std::to_string(number) + ": ";
        size_t eq = t.find('=');
        if (eq == std::string::npos) {
            problems.push_back(where + "no \"key = value\" in \"" + shown(t) + "\"");
            continue;
        }
        const std::string key = trim(t.substr(0, eq));
        const std::string value = trim(t.substr(eq + 1));
        values[key] = value;
        auto known = knownKeys().find(key);
        if (known == knownKeys().end()) {
            problems.push_back(where + "unknown key \"" + shown(key) + "\"");
            continue;
        }
        const std::string expected = unreadable(known->second, value);
        if (!expected.empty()) {
            problems.push_back(where + "cannot read \"" + shown(value) + "\" for " + shown(key) +
                               ": expected " + expected);
        }
    }
    return values;
}

}  // namespace velquar_sim
