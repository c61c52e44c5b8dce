// Decimal numbers in texts from the platform: strtol semantics (leading
// blanks skipped, an optional sign, conversion stops at the first non-digit,
// no digits give 0), but a value beyond the int range saturates at its limit
// instead of wrapping into an unrelated number.
#ifndef VELQUAR_DECIMAL_H
#define VELQUAR_DECIMAL_H

#include <climits>
#include <cstdlib>

namespace velquar {

inline int decimalToInt(const char *text) {
    long number = strtol(text, nullptr, 10);
    if (number > INT_MAX) {
        return INT_MAX;
    }
    if (number < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(number);
}

}  // namespace velquar

#endif
