// The kit file on a POSIX file system.
//
// Directory search where the file system has no wildcard search of its own.
// "*.kit" matches the extension in any letter case, as on Windows, and the
// first entry is the lowest matching name in case-insensitive order, so the
// choice does not depend on the order this file system lists the folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

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

// Only a regular file is read. The open does not wait: a named pipe (or a
// device) under the kit's name would otherwise hold the run forever.
FILE* openKitFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
}
