// The console in the browser: standard output, which the page shows, and
// instead of the pause the page's end of the run (its verdict and a button
// to start again).
#include <emscripten.h>

#include <cstdio>

#include "core/console.h"

EM_JS(void, tellPageTheRunEnded, (), {
    if (Module.onRunEnd) Module.onRunEnd();
});

void consoleSinkWrite(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }

void consoleFlush() { std::fflush(stdout); }

void consolePause() {
    std::fflush(stdout);
    tellPageTheRunEnded();
}
