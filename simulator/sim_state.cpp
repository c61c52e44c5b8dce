#include "sim_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace velquar_sim {
namespace {

std::mutex g_mutex;
std::string g_loadedPath;
std::string g_loadedContent;
std::map<std::string, std::string> g_loadedValues;
std::map<std::string, size_t> g_positions;

std::string trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return std::string();
    }
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::map<std::string, std::string> parse(const std::string &content) {
    std::map<std::string, std::string> values;
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        std::string t = trim(line);
        if (t.empty() || t[0] == '#') {
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        values[trim(t.substr(0, eq))] = trim(t.substr(eq + 1));
    }
    return values;
}

// Re-reads the state file when its name or content changed. Caller holds g_mutex.
void refresh() {
    const char *path = getenv("VELQUAR_SIM_STATE");
    std::string name = path ? path : "";
    std::string content;
    if (!name.empty()) {
        std::ifstream file(name, std::ios::binary);
        std::ostringstream all;
        all << file.rdbuf();
        content = all.str();
    }
    if (name == g_loadedPath && content == g_loadedContent) {
        return;
    }
    g_loadedPath = name;
    g_loadedContent = content;
    g_loadedValues = parse(content);
    g_positions.clear();
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
