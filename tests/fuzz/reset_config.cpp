// The reset configuration reader over arbitrary reset_config.ini contents.
//
// The reader takes the file from the working directory, so the target works
// in a private temporary folder of its own, writes each input there and
// returns to the folder it was started in (where libFuzzer keeps its corpus).
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "fuzz_support.h"
#include "reset_config.h"

namespace {

int g_inputDir = -1;
int g_startDir = -1;

// Every item is a non-empty piece of one line of the file, without the
// separator; a list whose key= never appears stays empty.
void checkList(const FolderList &list, const std::string &input, const char *keyEquals) {
    if (input.find(keyEquals) == std::string::npos) {
        FUZZ_CHECK(list.empty());
    }
    for (const std::string &item : list) {
        FUZZ_CHECK(!item.empty());
        FUZZ_CHECK(item.find(';') == std::string::npos);
        FUZZ_CHECK(item.find('\n') == std::string::npos);
        FUZZ_CHECK(input.find(item) != std::string::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const std::string dir = velquar_fuzz::makeTempDir("velquar-fuzz-reset");
    g_inputDir = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    g_startDir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(g_inputDir >= 0 && g_startDir >= 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FUZZ_CHECK(fchdir(g_inputDir) == 0);
    velquar_fuzz::writeInput("reset_config.ini", data, size);
    factoryResetFolders.clear();
    otaFolders.clear();
    const ConfigStatus status = readResetConfig();
    FUZZ_CHECK(fchdir(g_startDir) == 0);
    if (status != ConfigStatus::Read) {
        // Only an input over the size bound is refused; nothing is taken.
        FUZZ_CHECK(status == ConfigStatus::TooLarge && size > kMaxResetConfigSize);
        FUZZ_CHECK(factoryResetFolders.empty() && otaFolders.empty());
        return 0;
    }

    const std::string input(reinterpret_cast<const char *>(data), size);
    checkList(factoryResetFolders, input, "FactoryReset=");
    checkList(otaFolders, input, "OTA=");
    return 0;
}
