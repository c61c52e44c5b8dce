// A system call that fails in a test's child process, by a seccomp filter
// for this machine's calls: a file system or kernel that refuses it, without
// one at hand.
#ifndef VELQUAR_TESTS_REFUSE_CALL_H
#define VELQUAR_TESTS_REFUSE_CALL_H

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace velquar_test {

// From now on system call nr fails with error (the call is not made) when
// its argument arg is value (or, with equal false, when it is not); the
// process ends with status 126 when no filter can be installed.
inline void refuseCall(unsigned nr, unsigned arg, uint32_t value, bool equal, int error) {
    const unsigned char onValue = equal ? 0 : 1;
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                 static_cast<uint32_t>(offsetof(seccomp_data, args) + 8 * arg)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, onValue,
                 static_cast<unsigned char>(1 - onValue)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program = {sizeof code / sizeof code[0], code};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        _exit(126);
    }
}

// Whether this process may install a seccomp filter: qemu-user refuses one
// (and would apply it to its own host calls, not to the emulated program's).
inline bool seccompFilters() {
    const pid_t pid = fork();
    if (pid == 0) {
        refuseCall(~0u, 0, 0, true, 1);
        _exit(0);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velquar_test

#endif
