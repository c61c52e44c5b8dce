#include "library.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "symbol.h"

const char *const kDefaultLibrary = "libcom.orvane.velquar.platform.so";

namespace {

// A library that cannot be loaded: the one place that says so.
bool cannotLoad(const char *path, const char *reason) {
    fprintf(stderr, "velquar-props: cannot load %s: %s\n", path, reason);
    return false;
}

template <typename F>
bool bind(void *lib, const char *symbol, F &fn) {
    return bindSymbol("velquar-props", lib, symbol, symbol, fn);
}

}  // namespace

bool loadApi(const char *path, Api &api) {
    // A bare name is looked up on the library path by the loader, which
    // takes only regular files there.
    struct stat st;
    if (strchr(path, '/') && stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        return cannotLoad(path, "not a regular file");
    }
    void *lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::string reason = dlerror();
        // Where the simulated television is installed beside this program,
        // the one line says how to run on it.
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string sim(self, n > 0 ? static_cast<size_t>(n) : 0);
        if (n > 0 &&
            access(sim.replace(sim.rfind('/') + 1, sim.npos, "velquar-sim").c_str(), X_OK) == 0) {
            reason += " (on the simulated television: velquar-sim velquar-props ...)";
        }
        return cannotLoad(path, reason.c_str());
    }
    api.handle = lib;
    return bind(lib, "CreateDevicePropertiesProviderContext", api.create) &&
           bind(lib, "ReleaseDevicePropertiesProviderContext", api.release) &&
           bind(lib, "GetStringProperty", api.getString) &&
           bind(lib, "GetBoolProperty", api.getBool) &&
           bind(lib, "GetInt32Property", api.getInt32) &&
           bind(lib, "GetInt64Property", api.getInt64);
}

namespace {

struct NoteSearch {
    ElfW(Addr) base;  // the library's load address
    std::string *version;
    bool found;
};

// Walks the notes of one PT_NOTE segment: a header of three words (name
// size, descriptor size, type), the name and the descriptor, each padded to
// the segment's alignment (4, or 8 for the GNU property notes).
void searchSegment(const char *at, size_t size, size_t align, NoteSearch &search) {
    const size_t header = 3 * sizeof(ElfW(Word));
    auto padded = [align](size_t n) { return (n + align - 1) / align * align; };
    for (size_t pos = 0; size - pos >= header;) {
        ElfW(Word) words[3];
        memcpy(words, at + pos, sizeof words);
        const size_t name = pos + header;
        const size_t desc = name + padded(words[0]);
        if (words[0] > size || words[1] > size || desc > size || size - desc < words[1]) {
            return;
        }
        if (words[0] == 8 && words[2] == 1 && memcmp(at + name, "Velquar", 8) == 0) {
            const char *text = at + desc;
            search.version->assign(text, strnlen(text, words[1]));
            search.found = true;
            return;
        }
        pos = desc + padded(words[1]);
    }
}

int searchObject(dl_phdr_info *info, size_t, void *data) {
    NoteSearch &search = *static_cast<NoteSearch *>(data);
    if (info->dlpi_addr != search.base) {
        return 0;
    }
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && !search.found; ++i) {
        const ElfW(Phdr) &ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_NOTE) {
            searchSegment(reinterpret_cast<const char *>(info->dlpi_addr + ph.p_vaddr), ph.p_memsz,
                          ph.p_align == 8 ? 8 : 4, search);
        }
    }
    return 1;
}

}  // namespace

bool libraryVersion(void *handle, std::string &version) {
    link_map *map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
        return false;
    }
    NoteSearch search{map->l_addr, &version, false};
    dl_iterate_phdr(searchObject, &search);
    return search.found;
}
