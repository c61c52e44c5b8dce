#include "reset_config.h"

#include <fstream>

FolderList factoryResetFolders;
FolderList otaFolders;

void readResetConfig() {
    std::ifstream file("reset_config.ini");
    for (std::string line; std::getline(file, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq + 1 == line.size()) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "FactoryReset") {
            factoryResetFolders = splitFolders(value, ';');
        }
        if (key == "OTA") {
            otaFolders = splitFolders(value, ';');
        }
    }
}

FolderList splitFolders(const std::string &value, char separator) {
    FolderList folders;
    std::string item;
    for (char c : value) {
        if (c != separator) {
            item += c;
        } else if (!item.empty()) {
            folders.push_back(item);
            item.clear();
        }
    }
    if (!item.empty()) {
        folders.push_back(item);
    }
    return folders;
}
