// reset_config.ini: which folders each kind of reset empties.
//
// Lines KEY=VALUE, read byte for byte: KEY is everything before the first
// '=', VALUE everything after it, nothing is trimmed. The keys
// "FactoryReset" and "OTA" take ';'-separated folder paths; the last line of
// a key with a non-empty value wins. Everything else is ignored.
#ifndef VELQUAR_FACTORY_RESET_RESET_CONFIG_H
#define VELQUAR_FACTORY_RESET_RESET_CONFIG_H

#include <string>
#include <vector>

using FolderList = std::vector<std::string>;

// Filled by readResetConfig; empty until then.
extern FolderList factoryResetFolders;
extern FolderList otaFolders;

// Reads reset_config.ini from the working directory. A missing file, or one
// that is not a regular file (a FIFO, a device), leaves both lists as they
// are; a line longer than 1 MiB is skipped, the lines after it still count.
void readResetConfig();

// The non-empty items of value between separators, in order.
FolderList splitFolders(const std::string &value, char separator);

#endif
