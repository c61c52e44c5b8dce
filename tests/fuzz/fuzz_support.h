// What the fuzz targets share: the libFuzzer entry points, a check that
// stops the run with the failed condition named (so that a broken invariant
// counts as a finding just like a crash or a sanitizer report), and the
// private folder and file through which some targets hand over their input.
#ifndef VELQUAR_TESTS_FUZZ_SUPPORT_H
#define VELQUAR_TESTS_FUZZ_SUPPORT_H

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                      \
        }                                                                                 \
    } while (0)

namespace velquar_fuzz {

// A new folder under $TMPDIR (or /tmp), removed with its files at exit.
inline std::string makeTempDir(const char *prefix) {
    static std::string dir;
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    FUZZ_CHECK(mkdtemp(&pattern[0]) != nullptr);
    dir = pattern;
    atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    });
    return dir;
}

// Replaces the file's content. Rewritten in place and cut to size after:
// ext4 flushes a file to disk when it is emptied and written again, which
// would cost milliseconds per input.
inline void writeInput(const std::string &path, const uint8_t *data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        FUZZ_CHECK(n > 0);
        done += static_cast<size_t>(n);
    }
    FUZZ_CHECK(ftruncate(fd, static_cast<off_t>(size)) == 0);
    FUZZ_CHECK(close(fd) == 0);
}

}  // namespace velquar_fuzz

#endif
