// dravel's parse of one partition's uevent file over arbitrary contents.
#include "uevent.h"

#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

const char kBlanks[] = " \t\n\v\f\r";

// Whether input holds PARTNAME=, maybe blanks, then name.
bool followsPartName(const std::string &input, const std::string &name) {
    const std::string key = "PARTNAME=";
    for (size_t at = input.find(key); at != std::string::npos; at = input.find(key, at + 1)) {
        const size_t start = input.find_first_not_of(kBlanks, at + key.size());
        if (start != std::string::npos && input.compare(start, name.size(), name) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A copy that ends exactly where the input does.
    const std::string copy(reinterpret_cast<const char *>(data), size);
    Uevent uevent;
    const bool usable = readUevent(copy.data(), size, &uevent);

    const size_t length = strnlen(uevent.name, sizeof uevent.name);
    FUZZ_CHECK(length < sizeof uevent.name);
    if (!usable) {
        return 0;
    }
    // A usable name is one file name inside the folder, read from a line
    // that begins with PARTNAME=, and never a line that names a number.
    const std::string name(uevent.name, length);
    FUZZ_CHECK(!name.empty() && name != "." && name != "..");
    FUZZ_CHECK(name.find('/') == std::string::npos);
    FUZZ_CHECK(name.find_first_of(kBlanks) == std::string::npos);
    FUZZ_CHECK(name.find("MAJOR") == std::string::npos);
    FUZZ_CHECK(name.find("MINOR") == std::string::npos);
    const std::string input(reinterpret_cast<const char *>(data), size);
    FUZZ_CHECK(followsPartName(input, name));
    FUZZ_CHECK(input.find("MAJOR=") != std::string::npos);
    FUZZ_CHECK(input.find("MINOR=") != std::string::npos);
    return 0;
}
