#include "sim_state.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

namespace velquar_sim {
namespace {

std::mutex g_mutex;
std::string g_loadedPath;
std::string g_loadedContent;
std::string g_loadedError;
std::map<std::string, std::string> g_loadedValues;
std::map<std::string, size_t> g_positions;
// Every report made so far: each is made once per process.
std::set<std::string> g_reported;

std::string trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return std::string();
    }
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// What a key's value must be for the stand-ins to use it.
enum class Kind {
    Text,      // any text
    Number,    // one 32-bit number, signed or unsigned
    Byte,      // one number from -128 to 255
    Sequence,  // 32-bit numbers separated by blanks or commas
    Hex,       // exactly size bytes of hex
    HexUpTo,   // 1 to size bytes of hex
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
        };
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
            std::string item;
            size_t items = 0;
            for (char c : value + " ") {
                if (c == ' ' || c == ',' || c == '\t') {
                    if (!item.empty() && !wholeNumber32(item)) {
                        return "32-bit numbers separated by blanks or commas";
                    }
                    items += item.empty() ? 0 : 1;
                    item.clear();
                } else {
                    item += c;
                }
            }
            return items ? std::string() : "32-bit numbers separated by blanks or commas";
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

// A text for a report line: control characters, quotes and bytes outside
// ASCII as escapes, so that no state file can forge a line of its own.
std::string shown(const std::string &text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Every stand-in carries a copy of this file; the first of them in this
// order that the process has loaded speaks for all, so that each report
// comes once per process however many stand-ins read the state.
bool speaksForProcess() {
    static const char *const order[] = {"libAppIpc.so", "libtevrin_mmplayer_ipc.so", "libAPM.so",
                                        "libteec.so"};
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&speaksForProcess), &info) || !info.dli_fname) {
        return true;
    }
    std::string own = info.dli_fname;
    own = own.substr(own.rfind('/') + 1);
    for (const char *name : order) {
        if (own == name) {
            return true;
        }
        if (void *other = dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
            dlclose(other);
            return false;
        }
    }
    return true;
}

// Writes each report not made before to standard error, one line each.
// Caller holds g_mutex.
void report(const std::vector<std::string> &problems) {
    bool speaks = false;
    bool asked = false;
    for (const std::string &problem : problems) {
        if (g_reported.count(problem)) {
            continue;
        }
        if (!asked) {
            speaks = speaksForProcess();
            asked = true;
        }
        if (!speaks) {
            return;
        }
        g_reported.insert(problem);
        const std::string line = "velquar simulator: " + problem + "\n";
        for (size_t done = 0; done < line.size();) {
            ssize_t n = write(STDERR_FILENO, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
    }
}

// The values of a state file, and what in it the stand-ins cannot use.
std::map<std::string, std::string> parse(const std::string &name, const std::string &content,
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

// The largest state file read; a recorded television is a few kilobytes.
constexpr size_t kMaxStateFileSize = 4 * 1024 * 1024;

// Reads the state file into content; empty, or why it cannot be read.
// Only a regular file of at most kMaxStateFileSize is read: a device
// (/dev/zero) or a file that keeps growing would be read until memory runs
// out, and opening a FIFO would wait for a writer.
std::string readStateFile(const std::string &name, std::string &content) {
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return strerror(errno);
    }
    std::string why;
    struct stat status;
    if (fstat(fd, &status) != 0) {
        why = strerror(errno);
    } else if (S_ISDIR(status.st_mode)) {
        why = strerror(EISDIR);
    } else if (!S_ISREG(status.st_mode)) {
        why = "not a regular file";
    }
    char buffer[65536];
    while (why.empty()) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            why = n < 0 ? strerror(errno) : "";
            break;
        }
        content.append(buffer, static_cast<size_t>(n));
        if (content.size() > kMaxStateFileSize) {
            why = "larger than 4 MiB";
        }
    }
    if (!why.empty()) {
        content.clear();
    }
    close(fd);
    return why;
}

// Re-reads the state file when its name or content changed, and reports
// what in it cannot be used. Caller holds g_mutex.
void refresh() {
    const char *path = getenv("VELQUAR_SIM_STATE");
    std::string name = path ? path : "";
    std::string content;
    const std::string error = name.empty() ? "" : readStateFile(name, content);
    if (name == g_loadedPath && content == g_loadedContent && error == g_loadedError) {
        return;
    }
    g_loadedPath = name;
    g_loadedContent = content;
    g_loadedError = error;
    std::vector<std::string> problems;
    if (!error.empty()) {
        problems.push_back("cannot read the state file \"" + shown(name) + "\": " + error +
                           "; answering as the default television");
    }
    g_loadedValues = parse(name, content, problems);
    g_positions.clear();
    report(problems);
}

long long toNumber(const std::string &text, long long fallback) {
    if (text.empty()) {
        return fallback;
    }
    errno = 0;
    char *end = nullptr;
    long long v = strtoll(text.c_str(), &end, 0);
    if (end == text.c_str()) {
        return fallback;
    }
    // Values such as 0x80000010 are accepted as the 32-bit codes they spell.
    if (errno == ERANGE) {
        v = static_cast<long long>(strtoull(text.c_str(), nullptr, 0));
    }
    return v;
}

}  // namespace

State State::current() {
    std::lock_guard<std::mutex> lock(g_mutex);
    refresh();
    State s;
    s.m_values = g_loadedValues;
    return s;
}

std::string State::text(const std::string &key, const std::string &fallback) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? fallback : it->second;
}

long long State::number(const std::string &key, long long fallback) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? fallback : toNumber(it->second, fallback);
}

int32_t State::result(const std::string &call) const {
    return static_cast<int32_t>(static_cast<uint32_t>(number(call + ".result", 0)));
}

long long State::next(const std::string &key, long long fallback) const {
    auto it = m_values.find(key);
    if (it == m_values.end()) {
        return fallback;
    }
    std::vector<std::string> items;
    std::string item;
    for (char c : it->second + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!item.empty()) {
                items.push_back(item);
            }
            item.clear();
        } else {
            item += c;
        }
    }
    if (items.empty()) {
        return fallback;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t &pos = g_positions[key];
    size_t index = pos < items.size() ? pos : items.size() - 1;
    ++pos;
    return toNumber(items[index], fallback);
}

void log(const char *format, ...) {
    const char *path = getenv("VELQUAR_SIM_LOG");
    if (!path || !*path) {
        return;
    }
    char line[8192];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    size_t len =
        static_cast<size_t>(n) < sizeof line - 1 ? static_cast<size_t>(n) : sizeof line - 2;
    line[len++] = '\n';
    // One write on an O_APPEND descriptor keeps lines whole across threads.
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    ssize_t ignored = write(fd, line, len);
    (void)ignored;
    close(fd);
}

size_t parseHexUpTo(const std::string &text, unsigned char *out, size_t size) {
    std::string digits;
    for (char c : text) {
        if (c == ':' || c == ' ' || c == '-') {
            continue;
        }
        if (!isxdigit(static_cast<unsigned char>(c))) {
            return 0;
        }
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0 || digits.size() > size * 2) {
        return 0;
    }
    for (size_t i = 0; i < digits.size() / 2; ++i) {
        out[i] = static_cast<unsigned char>(std::stoul(digits.substr(i * 2, 2), nullptr, 16));
    }
    return digits.size() / 2;
}

bool parseHex(const std::string &text, unsigned char *out, size_t size) {
    std::vector<unsigned char> bytes(size);
    if (parseHexUpTo(text, bytes.data(), size) != size) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), out);
    return true;
}

}  // namespace velquar_sim
