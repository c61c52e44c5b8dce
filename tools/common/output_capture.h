// What a library writes to standard output while a call runs, taken aside
// so that standard output carries only the program's own document.
// Descriptor 1 points at an anonymous file for the call and is put back
// afterwards; a file, unlike a pipe, cannot fill up and block the library.
#ifndef VELQUAR_TOOLS_OUTPUT_CAPTURE_H
#define VELQUAR_TOOLS_OUTPUT_CAPTURE_H

#include <string>
#include <vector>

class OutputCapture {
public:
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    bool ok() const { return m_fd >= 0 && m_saved >= 0; }

    // Runs fn with standard output captured; appends its lines to lines.
    template <typename F>
    auto run(std::vector<std::string> &lines, F fn) -> decltype(fn()) {
        const bool redirected = begin();
        struct Restore {
            OutputCapture &self;
            std::vector<std::string> &lines;
            bool redirected;
            ~Restore() {
                if (redirected) {
                    self.end(lines);
                }
            }
        } restore{*this, lines, redirected};
        return fn();
    }

private:
    // Points standard output at the empty file; false when it could not.
    bool begin();
    // Puts standard output back and appends the captured lines.
    void end(std::vector<std::string> &lines);

    int m_fd = -1;
    int m_saved = -1;
};

#endif
