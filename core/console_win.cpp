// The console on Windows: standard output, and the press-any-key pause
// through the command interpreter's "pause", which prints the prompt in
// the system's language.
#include <cstdio>
#include <cstdlib>

#include "core/console.h"

void consoleSinkWrite(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }

void consoleFlush() { std::fflush(stdout); }

void consolePause() {
    std::fflush(stdout);
    std::system("pause");
}
