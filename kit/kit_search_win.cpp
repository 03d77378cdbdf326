// Directory search through the file system's own wildcard match.
#include <windows.h>

#include <string>

#include "kit/kit.h"

bool findFirstKitEntry(std::string& name) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(KIT_PATTERN, &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    name = data.cFileName;
    FindClose(search);
    return true;
}
