// The stand-ins' state-file reader over arbitrary state files: parseState
// and the number reader the stand-ins answer with.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "sim_state_parts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> problems;
    const auto values = velquar_sim::parseState("fuzz.state", input, problems);
    for (const auto &value : values) {
        // Keys and values are trimmed pieces of the file, a key before a '='.
        FUZZ_CHECK(input.find(value.first) != std::string::npos);
        FUZZ_CHECK(input.find(value.second) != std::string::npos);
        FUZZ_CHECK(value.first.find('=') == std::string::npos);
        FUZZ_CHECK(value.first.find('\n') == std::string::npos);
        FUZZ_CHECK(value.second.find('\n') == std::string::npos);
        velquar_sim::toNumber(value.second, 0);
    }
    // Each report is one line of printable text, naming the file.
    for (const std::string &problem : problems) {
        FUZZ_CHECK(problem.compare(0, 11, "fuzz.state:") == 0);
        for (const unsigned char c : problem) {
            FUZZ_CHECK(c >= 0x20 && c < 0x7f);
        }
    }
    return 0;
}
