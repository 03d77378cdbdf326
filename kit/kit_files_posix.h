// The kit search's own name rules, where the file system has no wildcard
// search (POSIX; kit_files_posix.cpp).
#pragma once

// Where the file system has no wildcard search (POSIX): a name matches
// "*.kit" in any letter case, and the first match is the lowest name
// compared as NTFS lists a folder (letters folded to upper case).
bool isKitFileName(const char* name);
bool kitNameBefore(const char* a, const char* b);
