#include "state_file.h"

#include <sys/utsname.h>
#include <time.h>

#include <cstring>

#include "hex.h"
#include "printable.h"

using velquar_sim::hex;

bool allZero(const void *data, size_t size) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < size; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

bool sayableText(const void *data, size_t size, std::string &text) {
    const char *p = static_cast<const char *>(data);
    const size_t n = strnlen(p, size);
    if (n == size || !allZero(p + n, size - n)) {
        return false;
    }
    text.assign(p, n);
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return text.empty() || (text.front() != ' ' && text.back() != ' ');
}

namespace {

// The bytes of a field up to its last non-NUL byte and one NUL after it
// where the field has room: what the caller's cleared field then holds.
std::string fieldHex(const void *data, size_t size) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    size_t end = size;
    while (end > 0 && p[end - 1] == 0) {
        --end;
    }
    return hex(p, end < size ? end + 1 : size);
}

}  // namespace

void StateText::comment(const std::string &text) {
    m_text += "# " + printable(text) + "\n";
}

void StateText::key(const std::string &name, const std::string &value) {
    m_text += name + " = " + value + "\n";
}

void StateText::result(const std::string &call, int32_t rc) {
    if (rc != 0) {
        key(call + ".result", std::to_string(rc));
    }
}

void StateText::number(const std::string &name, int32_t rc, long long value, long long preset) {
    if (rc == 0 || value != preset) {
        key(name, std::to_string(value));
    }
}

void StateText::record(const std::string &name, int32_t rc, const void *data, size_t size) {
    if (rc == 0 || !allZero(data, size)) {
        key(name + ".hex", hex(data, size));
    }
}

void StateText::text(const std::string &name, int32_t rc, const void *data, size_t size,
                     bool path) {
    if (rc != 0 && allZero(data, size)) {
        return;
    }
    std::string value;
    if (sayableText(data, size, value) && (!path || value.empty() || value[0] == '/')) {
        key(name, value);
    } else {
        key(name + ".hex", fieldHex(data, size));
    }
}

std::string stateHeader(const std::string &firmwareVersion) {
    StateText head;
    char when[64] = "an unknown time";
    time_t now = time(nullptr);
    struct tm utc;
    if (gmtime_r(&now, &utc)) {
        strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    }
    head.comment(std::string("A television recorded by velquar-capture on ") + when + ".");
    struct utsname system;
    if (uname(&system) == 0) {
        head.comment(std::string("uname -a: ") + system.sysname + " " + system.nodename + " " +
                     system.release + " " + system.version + " " + system.machine);
    }
    head.comment("Firmware version: " + firmwareVersion);
    head.comment("Replay: VELQUAR_SIM_STATE=<this file> velquar-props");
    return head.str();
}
