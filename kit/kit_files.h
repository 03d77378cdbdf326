// The kit's file-system seam, one file per platform (kit_files_posix.cpp,
// kit_files_win.cpp).
#pragma once

#include <cstdio>
#include <string>

// The name of the first entry of the current directory that matches
// "*.kit", or false when there is none.
bool findFirstKitEntry(std::string& name);

// The kit file opened for reading: null when it cannot be opened or is not
// a file (a folder, say), without waiting for anything.
FILE* openKitFile(const std::string& path);

// Where the file system has no wildcard search (POSIX): a name matches
// "*.kit" in any letter case, and the first match is the lowest name
// compared as NTFS lists a folder (letters folded to upper case).
bool isKitFileName(const char* name);
bool kitNameBefore(const char* a, const char* b);
