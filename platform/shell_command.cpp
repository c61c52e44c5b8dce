#include "shell_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "velquar_platform.h"

namespace velquar {

int runShellCommand(const std::string &command, std::string &output) {
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) {
        printf("Failed to popen:%s strerror(errno):%s\n", command.c_str(), strerror(errno));
        return PROPERTY_UNAVAILABLE;
    }
    char line[256];
    if (!fgets(line, sizeof line, pipe)) {
        printf("fgets failed for $s\n");
        pclose(pipe);
        return PROPERTY_UNAVAILABLE;
    }
    pclose(pipe);
    output = line;
    return PROPERTY_OK;
}

}  // namespace velquar
