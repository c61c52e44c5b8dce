// Starting the programs of the build from a test. A build for another
// machine (the television's 32-bit ARM) runs its tests under user-mode
// emulation, and without binfmt_misc an emulated process cannot exec a
// program of that machine directly: it starts the emulator instead, which
// CMake names in VELQUAR_EMULATOR (the command words, separated by blanks).
#ifndef VELQUAR_TESTS_EMULATOR_H
#define VELQUAR_TESTS_EMULATOR_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef VELQUAR_EMULATOR
#define VELQUAR_EMULATOR ""
#endif

namespace velquar_test {

// The words that go before a program of the build: none on a native build.
inline std::vector<std::string> emulatorWords() {
    std::istringstream in(VELQUAR_EMULATOR);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

// Shell text that starts program with NAME=VALUE settings in its own
// environment. Under the emulator they go to the emulated program only: in
// the emulator's environment an LD_PRELOAD of the target's machine would
// reach the emulator's own loader instead.
inline std::string programCommand(const std::string &program,
                                  const std::vector<std::string> &settings = {}) {
    const std::vector<std::string> emulator = emulatorWords();
    std::string command;
    for (const std::string &w : emulator) {
        command += w + " ";
    }
    for (const std::string &s : settings) {
        command += (emulator.empty() ? "" : "-E ") + s + " ";
    }
    return command + program;
}

#ifdef VELQUAR_PROPS_PATH
// The command that runs velquar-props. Under AddressSanitizer its
// LeakSanitizer leaves TLS out of its roots: the inspector unloads the
// library, and with it libraries that had dynamic TLS (GnuTLS, p11-kit),
// and the LeakSanitizer of GCC 12 crashes on their stale TLS records at
// exit. What only TLS still held would be reported as a leak, never hidden.
inline std::string inspectorCommand(const std::vector<std::string> &settings = {}) {
#ifdef VELQUAR_ASAN_RUNTIME
    return "env LSAN_OPTIONS=use_tls=0 " + programCommand(VELQUAR_PROPS_PATH, settings);
#else
    return programCommand(VELQUAR_PROPS_PATH, settings);
#endif
}
#endif

// The LD_PRELOAD setting for a program of the build; an instrumented
// program wants the sanitizer runtime first.
inline std::string preloadSetting(const std::string &library) {
#ifdef VELQUAR_ASAN_RUNTIME
    return "LD_PRELOAD=" VELQUAR_ASAN_RUNTIME ":" + library;
#else
    return "LD_PRELOAD=" + library;
#endif
}

struct ProgramRun {
    int status;  // exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a shell command, its standard error passing through the file errPath.
inline ProgramRun runCommand(const std::string &command, const std::string &errPath) {
    fflush(stdout);
    FILE *pipe = popen((command + " 2>" + errPath).c_str(), "r");
    if (!pipe) {
        return {-1, "", "cannot run " + command};
    }
    std::string out;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.append(chunk, n);
    }
    const int status = pclose(pipe);
    std::ifstream errFile(errPath);
    std::string err((std::istreambuf_iterator<char>(errFile)), std::istreambuf_iterator<char>());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, err};
}

// The whole file at path, empty when it cannot be read.
inline std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads fd to its end and closes it.
inline std::string readToEnd(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

struct ChildRun {
    int status;  // as waitpid gives it
    std::string text;
};

// Runs body in a child process, which ends with what body returns as its
// text (status 0, or 1 when it could not be passed on). body is given the
// descriptor that carries the text, for a child that closes all others.
inline ChildRun runInChild(const std::function<std::string(int)> &body) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return {-1, "no pipe"};
    }
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        const std::string text = body(ends[1]);
        _exit(write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0
                                                                                            : 1);
    }
    close(ends[1]);
    ChildRun run{-1, readToEnd(ends[0])};
    waitpid(pid, &run.status, 0);
    return run;
}

// Runs program with args (no shell), setting (NAME=VALUE) in its environment
// when one is given and after inChild in its process; expects exit status
// status and returns its standard output and error together.
inline std::string runProgram(const char *program, std::vector<const char *> argv, int status = 0,
                              const std::string &setting = "", void (*inChild)() = nullptr) {
    argv.insert(argv.begin(), program);
    const std::vector<std::string> emulator = emulatorWords();
    if (!setting.empty() && !emulator.empty()) {
        argv.insert(argv.begin(), {"-E", setting.c_str()});
    }
    for (auto w = emulator.rbegin(); w != emulator.rend(); ++w) {
        argv.insert(argv.begin(), w->c_str());
    }
    argv.push_back(nullptr);
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        if (!setting.empty() && emulator.empty()) {
            putenv(const_cast<char *>(setting.c_str()));
        }
        if (inChild) {
            inChild();
        }
        execv(argv[0], const_cast<char *const *>(argv.data()));
        _exit(127);
    }
    close(out[1]);
    const std::string text = readToEnd(out[0]);
    int result = 0;
    waitpid(pid, &result, 0);
    EXPECT_TRUE(WIFEXITED(result) && WEXITSTATUS(result) == status) << "status " << result;
    return text;
}

}  // namespace velquar_test

#endif
