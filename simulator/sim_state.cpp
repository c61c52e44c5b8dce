// Reading the state file and answering from it; the call log; hex texts.
#include "sim_state.h"

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
#include <vector>

#include "../platform/shared/file_io.h"
#include "sim_state_parts.h"

namespace velquar_sim {

std::mutex g_mutex;

namespace {

std::string g_loadedPath;
std::string g_loadedContent;
std::string g_loadedError;
std::map<std::string, std::string> g_loadedValues;

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
    if (why.empty()) {
        const velquar::ReadEnd end = velquar::readText(fd, kMaxStateFileSize, content);
        if (end != velquar::ReadEnd::Whole) {
            why = end == velquar::ReadEnd::TooLarge ? "larger than 4 MiB" : strerror(errno);
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
    g_loadedValues = parseState(name, content, problems);
    restartSequences();
    report(problems);
}

}  // namespace

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
