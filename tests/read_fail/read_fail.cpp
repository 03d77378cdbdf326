// A failing disk for the executables' tests, preloaded into the program
// (LD_PRELOAD; under Wine into Wine's own process): every read of a file
// whose name ends in ".kit" fails with EIO once as many bytes of it have
// been read as the file "read-fail-after" beside it says. (A file, not a
// variable: Wine does not hand the variables a Windows program sets on to
// the processes it starts.) Built with the host's compiler, also for the
// Windows build, whose executables read through Wine's read and pread.
//
// glibc's fread reads without going through the interposable read, so
// fread itself is wrapped for the Linux executables: the stream is made
// unbuffered, so that each fread is one read of the file, and past the
// limit the file's descriptor becomes a directory's, whose reads fail and
// set the stream's error indicator as a failing disk would.
#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The path of `name` beside the kit open as `fd`, in `path`; false when
// `fd` is no kit.
bool besideKit(int fd, const char* name, char (&path)[4096]) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 32);
    if (n < 4) return false;
    path[n] = 0;
    if (strcasecmp(path + n - 4, ".kit") != 0) return false;
    char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return false;
    std::strcpy(slash + 1, name);
    return true;
}

// The limit for the file open as `fd`: -1 when it is no kit, or no limit
// lies beside it.
long limitOf(int fd) {
    char path[4096];
    if (!besideKit(fd, "read-fail-after", path)) return -1;
    int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return -1;
    char text[32] = {};
    ssize_t got = pread(file, text, sizeof text - 1, 0);
    close(file);
    return got > 0 ? std::atol(text) : -1;
}

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// How much of `n` bytes at `at` may be read; -1: none, the read fails.
long allowed(int fd, off_t at, size_t n) {
    long l = limitOf(fd);
    if (l < 0) return static_cast<long>(n);
    if (at >= l) return -1;
    return static_cast<long>(n) < l - at ? static_cast<long>(n) : l - at;
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t n) {
    static auto real = next<ssize_t (*)(int, void*, size_t)>("read");
    long may = allowed(fd, lseek(fd, 0, SEEK_CUR), n);
    if (may < 0) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, static_cast<size_t>(may));
}

ssize_t pread64(int fd, void* buffer, size_t n, off_t at) {
    static auto real = next<ssize_t (*)(int, void*, size_t, off_t)>("pread64");
    long may = allowed(fd, at, n);
    if (may < 0) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, static_cast<size_t>(may), at);
}

ssize_t pread(int fd, void* buffer, size_t n, off_t at) { return pread64(fd, buffer, n, at); }

size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
    static auto real = next<size_t (*)(void*, size_t, size_t, FILE*)>("fread");
    static FILE* unbuffered = nullptr;
    int fd = fileno(stream);
    if (size == 0 || limitOf(fd) < 0) return real(buffer, size, count, stream);
    if (stream != unbuffered) {
        setvbuf(stream, nullptr, _IONBF, 0);  // before the stream's first read
        unbuffered = stream;
    }
    long may = allowed(fd, lseek(fd, 0, SEEK_CUR), size * count);
    if (may < 0) {
        int directory = open("/", O_RDONLY | O_DIRECTORY);
        dup2(directory, fd);
        close(directory);
        return real(buffer, size, count, stream);
    }
    return real(buffer, size, static_cast<size_t>(may) / size, stream);
}

// A kit replaced as soon as the program has read it and let go of it: a
// file "replace-kit-with" beside the kit holds its next contents.
int fclose(FILE* stream) {
    static auto real = next<int (*)(FILE*)>("fclose");
    char kit[4096], with[4096];
    int fd = fileno(stream);
    bool replace = fd >= 0 && besideKit(fd, "replace-kit-with", with) && access(with, R_OK) == 0;
    if (replace) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t n = readlink(link, kit, sizeof kit - 1);
        replace = n > 0;
        if (replace) kit[n] = 0;
    }
    int result = real(stream);
    if (replace) rename(with, kit);
    return result;
}

}  // extern "C"
