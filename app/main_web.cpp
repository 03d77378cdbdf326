// The entry in the browser: the page starts a run each time the owner
// presses Start (once the kit's files are in the current folder and MIDI
// access is granted); the run goes on across the browser's event loop and
// the call's promise settles when it has ended, with how the run left the
// device (RunVerdict), which the page shows at a glance.
#include <emscripten.h>

#include "app/active_profile.h"
#include "app/run.h"

extern "C" EMSCRIPTEN_KEEPALIVE int runUpdateInPage() {
    RunVerdict verdict = RunVerdict::Untouched;
    runUpdateWith(ACTIVE_PROFILE, &verdict);
    return static_cast<int>(verdict);
}

int main() { return 0; }
