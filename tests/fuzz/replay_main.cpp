// Runs a fuzz target once over every file of the folders (or files) named on
// the command line, as the test suite does with each target's seed and
// regression corpora. Without libFuzzer, so it builds with any compiler.
// Files whose names start with '.' and README files are not inputs.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"

// A target without LLVMFuzzerInitialize leaves this null.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) __attribute__((weak));

namespace {

bool isInput(const std::filesystem::path &path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] != '.' && name.rfind("README", 0) != 0 &&
           std::filesystem::is_regular_file(path);
}

}  // namespace

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto &entry : std::filesystem::directory_iterator(arg)) {
                if (isInput(entry.path())) {
                    inputs.push_back(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(arg)) {
            inputs.push_back(arg);
        } else {
            fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto &path : inputs) {
        fprintf(stderr, "replay: %s\n", path.c_str());
        std::ifstream file(path, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
        // A copy of exactly the input's size, so that a read past its end
        // shows under AddressSanitizer.
        std::unique_ptr<uint8_t[]> data(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    fprintf(stderr, "replay: %zu inputs\n", inputs.size());
    return 0;
}
