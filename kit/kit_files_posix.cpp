// The kit file on a POSIX file system.
//
// Directory search where the file system has no wildcard search of its own.
// "*.kit" matches the extension in any letter case, as on Windows, and the
// first entry is the lowest matching name in case-insensitive order, so the
// choice does not depend on the order this file system lists the folder.
#include <dirent.h>

#include <cstdio>
#include <cstring>

#include <string>

#include "core/regular_file.h"
#include "core/text.h"
#include "kit/kit_files.h"
#include "kit/kit_files_posix.h"

namespace {
// NTFS orders a folder by names folded to upper case.
inline int upperAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
}  // namespace

bool isKitFileName(const char* name) {
    size_t n = std::strlen(name);
    if (n < 4) return false;
    const char* ext = name + n - 4;
    return ext[0] == '.' && lowerAscii(ext[1]) == 'k' && lowerAscii(ext[2]) == 'i' &&
           lowerAscii(ext[3]) == 't';
}

bool kitNameBefore(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    size_t i = 0;
    for (; x[i] != 0 && y[i] != 0; ++i) {
        int cx = upperAscii(x[i]);
        int cy = upperAscii(y[i]);
        if (cx != cy) return cx < cy;
    }
    if (x[i] != y[i]) return x[i] == 0;
    // Names that differ only in letter case: fall back to byte order, so the
    // choice never depends on the order the file system lists them.
    return std::strcmp(a, b) < 0;
}

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

// Only a regular file is read, and the open does not wait.
FILE* openKitFile(const std::string& path) { return openRegularFile(path.c_str(), false); }
