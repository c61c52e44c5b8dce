#include "output_capture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace {

void flushStandardOutput() {
    std::cout.flush();
    fflush(stdout);
}

}  // namespace

OutputCapture::OutputCapture() {
    m_fd = memfd_create("velquar-props-output", MFD_CLOEXEC);
    if (m_fd < 0) {
        FILE *file = tmpfile();
        m_fd = file ? fcntl(fileno(file), F_DUPFD_CLOEXEC, 3) : -1;
        if (file) {
            fclose(file);
        }
    }
    m_saved = m_fd < 0 ? -1 : fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
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
    return ok() && ftruncate(m_fd, 0) == 0 && lseek(m_fd, 0, SEEK_SET) == 0 &&
           dup2(m_fd, STDOUT_FILENO) >= 0;
}

// The captured text as lines, without their line feeds; text after the last
// line feed is a line of its own.
void OutputCapture::end(std::vector<std::string> &lines) {
    flushStandardOutput();
    dup2(m_saved, STDOUT_FILENO);
    std::string text;
    char chunk[4096];
    for (off_t at = 0;;) {
        const ssize_t n = pread(m_fd, chunk, sizeof chunk, at);
        if (n <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(n));
        at += n;
    }
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
}
