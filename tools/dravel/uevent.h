// One partition's uevent file as dravel reads it: the MAJOR, MINOR and
// PARTNAME lines the kernel writes, and whether they make a usable node.
//
// Plain C library code, so that dravel links nothing but libc and the parse
// can be driven without a device.
#ifndef VELQUAR_DRAVEL_UEVENT_H
#define VELQUAR_DRAVEL_UEVENT_H

#include <cstddef>

const int kUeventLineSize = 4096;

// A kernel uevent file is at most one page: dravel reads no more of it.
const size_t kUeventMaxSize = 4096;

struct Uevent {
    int major;
    int minor;
    // PARTNAME's value up to the first white space, NUL-terminated.
    char name[kUeventLineSize];
};

// Parses the size bytes of text line by line (lines longer than 4095 bytes
// are taken in pieces, each piece tested as a line). A line that contains
// "MAJOR" is read as MAJOR=%d and nothing else, one that contains "MINOR" as
// MINOR=%d, one that contains "PARTNAME" as PARTNAME=%s; the last match of
// each wins. A number that does not fit an int does not match.
// True when the text gave both numbers and a name that is safe as a file
// name in the by-name folder: not empty, not "." or "..", no '/'.
bool readUevent(const char *text, size_t size, Uevent *uevent);

#endif
