#include "output_capture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "file_io.h"

namespace {

// Room the file must offer before it is used: far more than any call's
// lines. A file-size limit below it sends them elsewhere from the start
// rather than losing them half-way.
const off_t kCaptureRoom = 1 << 20;

void flushStandardOutput() {
    std::cout.flush();
    fflush(stdout);
}

}  // namespace

OutputCapture::OutputCapture(int passTo) : m_passTo(passTo) {
    m_saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (passTo >= 0) {
        return;
    }
    m_fd = memfd_create("velquar-props-output", MFD_CLOEXEC);
    if (m_fd < 0) {
        FILE *file = tmpfile();
        m_fd = file ? fcntl(fileno(file), F_DUPFD_CLOEXEC, 3) : -1;
        if (file) {
            fclose(file);
        }
    }
    if (m_fd < 0 || ftruncate(m_fd, kCaptureRoom) != 0 || ftruncate(m_fd, 0) != 0) {
        m_note = std::string("the library's lines cannot be stored (") + strerror(errno) +
                 "): they went to standard error";
        if (m_fd >= 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
}

OutputCapture::~OutputCapture() {
    if (m_fd >= 0) {
        close(m_fd);
    }
    if (m_saved >= 0) {
        close(m_saved);
    }
}

bool OutputCapture::begin() {
    flushStandardOutput();
    if (!ok()) {
        return false;
    }
    if (m_passTo >= 0) {
        return dup2(m_passTo, STDOUT_FILENO) >= 0;
    }
    clearerr(stdout);
    return m_fd >= 0 && ftruncate(m_fd, 0) == 0 && lseek(m_fd, 0, SEEK_SET) == 0 &&
           dup2(m_fd, STDOUT_FILENO) >= 0;
}

// The captured text as lines, without their line feeds; text after the last
// line feed is a line of its own.
void OutputCapture::end(std::vector<std::string> &lines) {
    flushStandardOutput();
    dup2(m_saved, STDOUT_FILENO);
    if (m_passTo >= 0) {
        return;
    }
    if (ferror(stdout)) {
        // A write into the file failed: what it missed is gone, and the file
        // is not used again.
        clearerr(stdout);
        std::cout.clear();
        m_note =
            "some of the library's lines could not be stored and are lost; the later ones "
            "went to standard error";
    }
    std::string text;
    // What a failed read leaves is what was read before it.
    velquar::readText(m_fd, SIZE_MAX, text);
    if (!m_note.empty()) {
        close(m_fd);
        m_fd = -1;
    }
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
}
