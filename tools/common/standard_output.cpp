#include "standard_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

FILE *setStandardOutputAside(bool &aside) {
    signal(SIGXFSZ, SIG_IGN);
    fflush(stdout);
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    int error = errno;
    aside = dup2(STDERR_FILENO, STDOUT_FILENO) >= 0;
    if (!aside) {
        error = errno;
    }
    FILE *out = aside && fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!out && fd >= 0) {
        error = errno;
        close(fd);
    }
    errno = error;
    return out;
}

bool closeStandardOutput(FILE *out, const char *program) {
    errno = 0;
    int error = fflush(out) != 0 ? errno : 0;
    bool failed = error != 0 || ferror(out);
    if (fclose(out) != 0 && !failed) {
        failed = true;
        error = errno;
    }
    if (failed) {
        fprintf(stderr, "%s: write error on standard output%s%s\n", program, error ? ": " : "",
                error ? strerror(error) : "");
    }
    return !failed;
}

void linesToStderr(const std::vector<std::string> &lines) {
    for (const std::string &line : lines) {
        fprintf(stderr, "%s\n", line.c_str());
    }
}
