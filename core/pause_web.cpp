// The pause in the browser: the page shows the end of the run (and a
// button to start again) instead of waiting for a key.
#include <emscripten.h>

#include <cstdio>

#include "core/pause.h"

EM_JS(void, tellPageTheRunEnded, (), {
    if (Module.onRunEnd) Module.onRunEnd();
});

void platformPause() {
    std::fflush(stdout);
    tellPageTheRunEnded();
}
