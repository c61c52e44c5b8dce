// Starting the programs of the build from a test. A build for another
// machine (the television's 32-bit ARM) runs its tests under user-mode
// emulation, and without binfmt_misc an emulated process cannot exec a
// program of that machine directly: it starts the emulator instead, which
// CMake names in VELQUAR_EMULATOR (the command words, separated by blanks).
#ifndef VELQUAR_TESTS_EMULATOR_H
#define VELQUAR_TESTS_EMULATOR_H

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
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

}  // namespace velquar_test

#endif
