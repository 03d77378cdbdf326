// Directory search where the file system has no wildcard search of its own.
// "*.kit" matches the extension in any letter case, as on Windows, and the
// first entry is the lowest matching name in case-insensitive order, so the
// choice does not depend on the order this file system lists the folder.
#include <dirent.h>

#include <string>

#include "kit/kit.h"

bool findFirstKitEntry(std::string& name) {
    DIR* dir = opendir(".");
    if (dir == nullptr) return false;
    bool found = false;
    while (const dirent* entry = readdir(dir)) {
        if (!isKitFileName(entry->d_name)) continue;
        if (!found || kitNameBefore(entry->d_name, name.c_str())) {
            name = entry->d_name;
            found = true;
        }
    }
    closedir(dir);
    return found;
}
