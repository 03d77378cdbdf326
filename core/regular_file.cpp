#include "core/regular_file.h"

#if defined(_WIN32)

// Windows has no named pipes among a folder's files; what fopen opens there
// is what the run may use.
FILE* openRegularFile(const char* path, bool forAppending) { return std::fopen(path, forAppending ? "ab" : "rb"); }

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* openRegularFile(const char* path, bool forAppending) {
    int flags = forAppending ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY;
    int fd = open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* file = fdopen(fd, forAppending ? "ab" : "rb");
    if (file == nullptr) close(fd);
    return file;
}

#endif
