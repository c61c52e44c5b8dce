// The state file: its lines, written in the order the calls were made, in
// the form the simulated television's stand-ins read back.
#ifndef VELQUAR_CAPTURE_STATE_FILE_H
#define VELQUAR_CAPTURE_STATE_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

bool allZero(const void *data, size_t size);

// The text a field holds when a text key says it exactly: it ends in a NUL
// within the field, only NULs follow, and it has no control characters or
// edge blanks, which a state file line cannot keep.
bool sayableText(const void *data, size_t size, std::string &text);

// The state file's lines, in the order the calls were made.
class StateText {
public:
    void comment(const std::string &text);
    void key(const std::string &name, const std::string &value);
    void result(const std::string &call, int32_t rc);
    // A number the call wrote: always after a success; after a failure only
    // when it differs from the preset, as an unwritten value reads the same.
    void number(const std::string &name, int32_t rc, long long value, long long preset);
    // A record the call wrote, whole, likewise.
    void record(const std::string &name, int32_t rc, const void *data, size_t size);
    // A text field: as text where a line holds it, otherwise as its bytes.
    // A relative path is kept as bytes: the stand-in resolves a relative
    // text against the state file's folder.
    void text(const std::string &name, int32_t rc, const void *data, size_t size,
              bool path = false);
    const std::string &str() const { return m_text; }

private:
    std::string m_text;
};

// When and on what the capture was made, for the state file's head.
std::string stateHeader(const std::string &firmwareVersion);

#endif
