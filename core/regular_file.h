// Opening a file the run reads or writes (the kit, the account) only when
// it is a regular file, without waiting: a named pipe or a device under its
// name would otherwise hold the run for ever.
#pragma once

#include <cstdio>

// The file opened for reading ("rb"), or for appending ("ab", created when
// missing); null when it cannot be opened or is no regular file.
FILE* openRegularFile(const char* path, bool forAppending);
