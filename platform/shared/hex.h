// Lower-case hex of a byte range: the state file's ".hex" keys and the call
// log. Header-only and shared, so that velquar-capture, which writes state
// files, encodes as the stand-ins read without linking anything of theirs.
#ifndef VELQUAR_SHARED_HEX_H
#define VELQUAR_SHARED_HEX_H

#include <cstddef>
#include <string>

namespace velquar_sim {

inline std::string hex(const void *data, size_t size) {
    static const char digits[] = "0123456789abcdef";
    const unsigned char *p = static_cast<const unsigned char *>(data);
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

}  // namespace velquar_sim

#endif
