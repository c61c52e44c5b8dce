// The properties library, loaded as the application loads it.
#ifndef VELQUAR_PROPS_LIBRARY_H
#define VELQUAR_PROPS_LIBRARY_H

#include <string>

#include "velquar_platform.h"

extern const char *const kDefaultLibrary;

// The library's six functions, bound by name.
struct Api {
    void *handle;
    decltype(&CreateDevicePropertiesProviderContext) create;
    decltype(&ReleaseDevicePropertiesProviderContext) release;
    decltype(&GetStringProperty) getString;
    decltype(&GetBoolProperty) getBool;
    decltype(&GetInt32Property) getInt32;
    decltype(&GetInt64Property) getInt64;
};

// Loads the library at path (or by that name) and binds its functions;
// false, after a line on standard error, when it cannot. A path that names
// anything but a regular file (a FIFO would block the loader for ever) is
// not loaded.
bool loadApi(const char *path, Api &api);

// The release the loaded library names in its "Velquar" version note, found
// in its note segments in memory; false for a library without one.
bool libraryVersion(void *handle, std::string &version);

#endif
