#include "shell_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "descriptor.h"
#include "shell_lines.h"
#include "velquar_platform.h"

extern char **environ;

namespace velquar {
namespace {

const size_t kLineSize = 256;

// The running shell and the read end of its output pipe. Ended normally, it
// closes the pipe and waits for the shell, as pclose does. Left by a
// cancelled thread's unwinding, it does the same but first kills the shell's
// process group, the commands it started included: the caller has given up
// on the answer and must not wait on a command that may never end, and
// nothing of the command outlives the call, neither a zombie nor a program
// that goes on holding the caller's standard error.
class ShellChild {
public:
    ShellChild(pid_t pid, int output) : m_pid(pid), m_output(output) {}
    ~ShellChild() {
        closeOutput();
        if (m_pid > 0) {
            kill(-m_pid, SIGKILL);
            reap();
        }
    }
    ShellChild(const ShellChild &) = delete;
    ShellChild &operator=(const ShellChild &) = delete;

    int output() const { return m_output; }

    // Closes the pipe, then waits for the shell to end.
    void finish() {
        closeOutput();
        reap();
    }

private:
    void closeOutput() {
        if (m_output >= 0) {
            close(m_output);
            m_output = -1;
        }
    }
    // A handled signal does not stop the wait; ECHILD (an application that
    // ignores SIGCHLD has its children reaped for it) ends it.
    void reap() {
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = 0;
    }

    pid_t m_pid;
    int m_output;
};

// A posix_spawn object set up by Init and torn down by Destroy; get() is
// null when it could not be set up.
template <typename T, int (*Init)(T *), int (*Destroy)(T *)>
class SpawnObject {
public:
    SpawnObject() : m_ok(Init(&m_object) == 0) {}
    ~SpawnObject() {
        if (m_ok) {
            Destroy(&m_object);
        }
    }
    SpawnObject(const SpawnObject &) = delete;
    SpawnObject &operator=(const SpawnObject &) = delete;
    T *get() { return m_ok ? &m_object : nullptr; }

private:
    T m_object;
    bool m_ok;
};

using FileActions = SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init,
                                posix_spawn_file_actions_destroy>;
using SpawnAttributes =
    SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

// Starts "/bin/sh -c command" in a process group of its own, with its
// standard output on a new pipe and nothing open but descriptors 0, 1 and 2.
// Returns 0 and fills pid and the pipe's read end, or an error number.
int startShell(const std::string &command, pid_t &pid, int &output) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return errno;
    }
    // Both ends are close-on-exec, so no other program started meanwhile
    // keeps the pipe open. An end that took descriptor 0, 1 or 2 (closed by
    // the application) is moved above them: the write end before it becomes
    // the shell's 1, the read end before the library reads from it.
    for (int &end : ends) {
        end = aboveStandardStreams(end);
    }
    if (ends[0] < 0 || ends[1] < 0) {
        const int error = errno;
        for (const int end : ends) {
            if (end >= 0) {
                close(end);
            }
        }
        return error;
    }
    FileActions actions;
    SpawnAttributes attributes;
    int rc = actions.get() && attributes.get() ? 0 : ENOMEM;
    if (rc == 0) {
        rc = posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_adddup2(actions.get(), ends[1], STDOUT_FILENO);
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);
    }
    if (rc == 0) {
        std::vector<char *> env = shellEnvironment(environ);
        char sh[] = "sh", dashC[] = "-c";
        char *argv[] = {sh, dashC, const_cast<char *>(command.c_str()), nullptr};
        rc = posix_spawn(&pid, "/bin/sh", actions.get(), attributes.get(), argv, env.data());
    }
    close(ends[1]);
    if (rc != 0) {
        close(ends[0]);
        return rc;
    }
    output = ends[0];
    return 0;
}

// fgets on the pipe: up to 255 characters, through the first line feed.
// A read interrupted by a handled signal is made again. Returns the count,
// 0 when the command printed nothing, or -1 on a read error.
ssize_t readFirstLine(int fd, char (&line)[kLineSize]) {
    size_t count = 0;
    while (count < kLineSize - 1) {
        const ssize_t n = read(fd, line + count, kLineSize - 1 - count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        const void *feed = memchr(line + count, '\n', static_cast<size_t>(n));
        count += static_cast<size_t>(n);
        if (feed) {
            count = static_cast<size_t>(static_cast<const char *>(feed) - line) + 1;
            break;
        }
    }
    line[count] = '\0';
    return static_cast<ssize_t>(count);
}

}  // namespace

int runShellCommand(const std::string &command, std::string &output) {
    pid_t pid = 0;
    int fd = -1;
    const int rc = startShell(command, pid, fd);
    if (rc != 0) {
        printf("Failed to popen:%s strerror(errno):%s\n", command.c_str(), strerror(rc));
        return PROPERTY_UNAVAILABLE;
    }
    ShellChild shell(pid, fd);
    char line[kLineSize];
    if (readFirstLine(shell.output(), line) <= 0) {
        // "$s" is deliberate, not a mistyped %s: readers match this exact line.
        printf("fgets failed for $s\n");
        shell.finish();
        return PROPERTY_UNAVAILABLE;
    }
    shell.finish();
    output = line;
    return PROPERTY_OK;
}

}  // namespace velquar
