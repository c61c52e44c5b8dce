// reset_config.ini: which folders each kind of reset empties.
//
// Lines KEY=VALUE, read byte for byte: KEY is everything before the first
// '=', VALUE everything after it, nothing is trimmed. The keys
// "FactoryReset" and "OTA" take ';'-separated folder paths; the last line of
// a key with a non-empty value wins. Everything else is ignored.
#ifndef VELQUAR_FACTORY_RESET_RESET_CONFIG_H
#define VELQUAR_FACTORY_RESET_RESET_CONFIG_H

#include <cstddef>
#include <string>
#include <vector>

using FolderList = std::vector<std::string>;

// Filled by readResetConfig; empty until then.
extern FolderList factoryResetFolders;
extern FolderList otaFolders;

// At most this many bytes are read; a real file holds a few hundred.
const size_t kMaxResetConfigSize = 64 * 1024;

enum class ConfigStatus {
    Read,            // the lists hold what the file says
    Unreadable,      // missing, or it cannot be read
    NotRegular,      // a FIFO, a device, a folder
    ForeignOwner,    // owned by neither root nor the user running the tool
    OthersMayWrite,  // writable for others, a group not root's, or through an ACL
    LinkRefused,     // reached through a link a user could have planted
    TooLarge,        // more than kMaxResetConfigSize bytes
};

// Reads reset_config.ini from the working directory, a link only under the
// link rule of safe_path.h. Only a regular file of root's or the running
// user's, that no other user may write (othersMayWrite) and that holds
// at most kMaxResetConfigSize bytes, is read; otherwise both lists stay as
// they are.
ConfigStatus readResetConfig();

// The non-empty items of value between separators, in order.
FolderList splitFolders(const std::string &value, char separator);

#endif
