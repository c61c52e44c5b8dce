#include "shell_records.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hex.h"
#include "shell_lines.h"

extern char **environ;

using velquar_sim::hex;

std::string shellOutput(const char *command) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return std::string();
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    std::vector<char *> env = velquar::shellEnvironment(environ);
    char sh[] = "sh", dashC[] = "-c";
    char *argv[] = {sh, dashC, const_cast<char *>(command), nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    std::string out;
    char chunk[4096];
    while (rc == 0 && out.size() < kMaxShellOutput) {
        const ssize_t n =
            read(ends[0], chunk, std::min(sizeof chunk, kMaxShellOutput - out.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        out.append(chunk, static_cast<size_t>(n));
    }
    close(ends[0]);
    while (rc == 0 && waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return out;
}

void recordOutsideReads(StateText &state) {
    state.comment("What the library reads besides the platform libraries: the output of its");
    state.comment("shell command lines and the certificate bundle variable.");
    for (size_t n = 0; n < velquar::kShellLineCount; ++n) {
        const char *line = velquar::kShellLines[n];
        const std::string output = shellOutput(line);
        const std::string key = "shell." + std::to_string(n + 1);
        state.key(key + ".command", line);
        state.key(key + ".output.hex", hex(output.data(), output.size()));
        fprintf(stderr, "velquar-capture: %s: %zu bytes of output\n", line, output.size());
    }
    const char *value = getenv(velquar::kCABundleVariable);
    state.key("curl_ca_bundle_path.set", value ? "1" : "0");
    if (value) {
        state.key("curl_ca_bundle_path.hex", hex(value, strlen(value)));
    }
}
