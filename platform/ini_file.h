// Loading the INI files the library reads: the application's configuration
// file and the /config/sys.ini chain.
#ifndef VELQUAR_INI_FILE_H
#define VELQUAR_INI_FILE_H

#include <iniparser.h>

namespace velquar {

// The dictionary of the regular file at path, or null when there is none:
// missing, unreadable, not parsable, or not a regular file at all (a FIFO or
// a device would block the read or never end). Never blocks on opening.
dictionary *loadIniFile(const char *path);

}  // namespace velquar

#endif
