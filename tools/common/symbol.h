// Binding a loaded library's functions by name.
#ifndef VELQUAR_TOOLS_SYMBOL_H
#define VELQUAR_TOOLS_SYMBOL_H

#include <dlfcn.h>

#include <cstdio>

// Sets fn to symbol in the library of handle (RTLD_DEFAULT: the first
// definition in the process, as the dynamic linker binds a call). False,
// after "PROGRAM: LABEL: REASON" on standard error, when there is none.
template <typename F>
bool bindSymbol(const char *program, void *handle, const char *symbol, const char *label, F &fn) {
    fn = reinterpret_cast<F>(dlsym(handle, symbol));
    if (!fn) {
        fprintf(stderr, "%s: %s: %s\n", program, label, dlerror());
        return false;
    }
    return true;
}

#endif
