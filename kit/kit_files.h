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
