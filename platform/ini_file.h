// Loading the INI files the library reads: the application's configuration
// file and the /config/sys.ini chain.
#ifndef VELQUAR_INI_FILE_H
#define VELQUAR_INI_FILE_H

#include <iniparser.h>

#include <cstddef>

namespace velquar {

// The largest INI file the library loads. A real configuration or model
// file is a few kilobytes; a larger one is refused as a missing one is.
constexpr size_t kMaxIniFileSize = 1024 * 1024;

// The dictionary of the regular file at path, or null when there is none:
// missing, unreadable, not parsable, not a regular file at all (a FIFO or a
// device would block the read or never end), a regular file whose read
// would block (kernel files such as tracing pipes), or one larger than
// kMaxIniFileSize. Never blocks: the file is opened and read without
// waiting, once, and iniparser parses a private copy of what was read (the
// file itself where no copy can be made). Every descriptor it keeps is 3 or
// above.
dictionary *loadIniFile(const char *path);

}  // namespace velquar

#endif
