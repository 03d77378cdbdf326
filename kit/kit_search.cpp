// Finding the kit file: the first directory entry matching "*.kit", which
// must carry the product prefix.
#include <cctype>
#include <cstring>

#include "core/console.h"
#include "kit/kit.h"

// The platform's directory search: the name of the first entry of the
// current directory that matches "*.kit", or false when there is none.
bool findFirstKitEntry(std::string& name);

namespace {
inline int lowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }
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

bool hasKitPrefix(const std::string& name) {
    size_t n = std::strlen(KIT_PREFIX);
    if (name.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (lowerAscii(static_cast<unsigned char>(name[i])) !=
            lowerAscii(static_cast<unsigned char>(KIT_PREFIX[i])))
            return false;
    }
    return true;
}

Outcome findKitFile(std::string& path) {
    path = KIT_PATTERN;
    std::string found;
    if (!findFirstKitEntry(found)) {
        consolePrint("Error: File '%s' is not found.\n\n", path.c_str());
        return Outcome::Stop;
    }
    path = found;
    if (!hasKitPrefix(path)) {
        consolePrint("Error: The fit file is not found.\n\n");
        return Outcome::Stop;
    }
    return Outcome::GoOn;
}
