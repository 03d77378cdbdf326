// The kit file on Windows: the directory search through the file system's
// own wildcard match, and the open.
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

#include <string>

#include "kit/kit.h"
#include "kit/kit_files.h"

bool findFirstKitEntry(std::string& name) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(KIT_PATTERN, &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    name = data.cFileName;
    FindClose(search);
    return true;
}

FILE* openKitFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || (info.st_mode & S_IFMT) == S_IFDIR) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}
