#include "uevent.h"

#include <cstring>

namespace {

// A name that could put the node outside the folder, or no name, makes no node.
bool isSafeName(const char *name) {
    return name[0] != '\0' && !strchr(name, '/') && strcmp(name, ".") != 0 &&
           strcmp(name, "..") != 0;
}

}  // namespace

bool readUevent(FILE *file, Uevent *uevent) {
    // Only numbers read for this partition count: another partition's
    // would send the node's reads and writes to that partition.
    uevent->major = 0;
    uevent->minor = 0;
    memset(uevent->name, 0, sizeof uevent->name);
    bool haveMajor = false;
    bool haveMinor = false;
    char line[kUeventLineSize];
    while (fgets(line, sizeof line, file)) {
        if (strstr(line, "MAJOR")) {
            haveMajor = sscanf(line, "MAJOR=%d", &uevent->major) == 1 || haveMajor;
        } else if (strstr(line, "MINOR")) {
            haveMinor = sscanf(line, "MINOR=%d", &uevent->minor) == 1 || haveMinor;
        } else if (strstr(line, "PARTNAME")) {
            sscanf(line, "PARTNAME=%4095s", uevent->name);
        }
    }
    return haveMajor && haveMinor && isSafeName(uevent->name);
}
