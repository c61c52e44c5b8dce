#include "uevent.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A name that could put the node outside the folder, or no name, makes no node.
bool isSafeName(const char *name) {
    return name[0] != '\0' && !strchr(name, '/') && strcmp(name, ".") != 0 &&
           strcmp(name, "..") != 0;
}

// key=NUMBER at the start of line, as %d reads it (blanks and a sign before
// the digits, anything after them), but only a number that fits an int.
bool readNumber(const char *line, const char *key, int *value) {
    const size_t length = strlen(key);
    if (strncmp(line, key, length) != 0) {
        return false;
    }
    const char *digits = line + length;
    char *end = nullptr;
    errno = 0;
    const long long number = strtoll(digits, &end, 10);
    if (end == digits || errno == ERANGE || number < INT_MIN || number > INT_MAX) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

bool readUevent(const char *text, size_t size, Uevent *uevent) {
    // Only numbers read for this partition count: another partition's
    // would send the node's reads and writes to that partition.
    uevent->major = 0;
    uevent->minor = 0;
    memset(uevent->name, 0, sizeof uevent->name);
    bool haveMajor = false;
    bool haveMinor = false;
    char line[kUeventLineSize];
    for (size_t at = 0; at < size;) {
        // Up to and with the next line feed, as fgets takes it.
        size_t length = 0;
        while (at < size && length < sizeof line - 1) {
            const char c = text[at++];
            line[length++] = c;
            if (c == '\n') {
                break;
            }
        }
        line[length] = '\0';
        if (strstr(line, "MAJOR")) {
            haveMajor = readNumber(line, "MAJOR=", &uevent->major) || haveMajor;
        } else if (strstr(line, "MINOR")) {
            haveMinor = readNumber(line, "MINOR=", &uevent->minor) || haveMinor;
        } else if (strstr(line, "PARTNAME")) {
            sscanf(line, "PARTNAME=%4095s", uevent->name);
        }
    }
    return haveMajor && haveMinor && isSafeName(uevent->name);
}
