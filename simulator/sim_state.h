// Shared plumbing of the simulated television's stand-in libraries.
//
// Every stand-in answers from a built-in default device. The file named by
// VELQUAR_SIM_STATE overrides it key by key ("key = value" lines, '#'
// comments), and is read again on every call, so a running test or a user
// can change the device between calls. VELQUAR_SIM_LOG names a file that
// receives one line per call received.
#ifndef VELQUAR_SIMULATOR_SIM_STATE_H
#define VELQUAR_SIMULATOR_SIM_STATE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "../platform/shared/hex.h"

namespace velquar_sim {

class State {
public:
    // The device as the state file describes it now.
    static State current();

    bool has(const std::string &key) const { return m_values.count(key) != 0; }
    std::string text(const std::string &key, const std::string &fallback) const;
    // Decimal, 0x hexadecimal or leading-0 octal, optionally negative.
    long long number(const std::string &key, long long fallback) const;
    // Result code of a call: "<call>.result", 0 when not set.
    int32_t result(const std::string &call) const;
    // A call that fails writes its out value only when the state names it.
    bool writes(const std::string &key, int32_t result) const { return result == 0 || has(key); }

    // The next entry of a blank- or comma-separated sequence; the last entry
    // repeats. Positions start again whenever the state file changes.
    long long next(const std::string &key, long long fallback) const;

private:
    std::map<std::string, std::string> m_values;
};

// Appends one line (printf format, no line end) to the call log.
void log(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Bytes from a hex text ("00ff..." or "00:ff:..."); false when malformed.
bool parseHex(const std::string &text, unsigned char *out, size_t size);

// Like parseHex for a text of 1 to size bytes; the number of bytes, 0 (and
// nothing written) when malformed or too long.
size_t parseHexUpTo(const std::string &text, unsigned char *out, size_t size);

}  // namespace velquar_sim

#endif
