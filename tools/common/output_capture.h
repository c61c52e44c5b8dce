// What a library writes to standard output while a call runs, taken aside
// so that standard output carries only the program's own document.
// Descriptor 1 points at an anonymous file for the call and is put back
// afterwards; a file, unlike a pipe, cannot fill up and block the library.
// Where that file cannot store the lines (no room for it, or a file-size
// limit), they go to whatever descriptor 1 is outside the calls, and note()
// says so.
#ifndef VELQUAR_TOOLS_OUTPUT_CAPTURE_H
#define VELQUAR_TOOLS_OUTPUT_CAPTURE_H

#include <string>
#include <vector>

class OutputCapture {
public:
    // Takes the calls' lines into run()'s lines or, with a passTo of 0 or
    // more, lets the calls print straight to that descriptor instead.
    explicit OutputCapture(int passTo = -1);
    ~OutputCapture();
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;

    bool ok() const { return m_saved >= 0; }
    // Why lines went elsewhere than into run()'s lines; empty while none did.
    const std::string &note() const { return m_note; }

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
    // Points standard output at the file (or passTo); false when it did not.
    bool begin();
    // Puts standard output back and appends the captured lines.
    void end(std::vector<std::string> &lines);

    int m_fd = -1;
    int m_passTo = -1;
    int m_saved = -1;
    std::string m_note;
};

#endif
