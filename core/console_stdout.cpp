// The executables' console: standard output, and the platform's pause.
#include <cstdio>

#include "core/console_sink.h"
#include "core/pause.h"

void consoleSinkWrite(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }

void consoleSinkFlush() { std::fflush(stdout); }

void consoleSinkPause() { platformPause(); }
