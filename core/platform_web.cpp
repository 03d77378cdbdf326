// The computer, where the program runs in a web page.
#include <emscripten.h>

#include <cstdio>

#include "core/platform.h"

EM_JS(void, browserDescription, (char* text, int room), {
    stringToUTF8("a web page in " + navigator.userAgent, text, room);
});

EM_JS(void, browserLocalTime, (char* text, int room), {
    const d = new Date();
    const two = n => String(n).padStart(2, "0");
    const east = -d.getTimezoneOffset();
    const zone = (east < 0 ? "-" : "+") + two(Math.floor(Math.abs(east) / 60)) + ":" + two(Math.abs(east) % 60);
    stringToUTF8(d.getFullYear() + "-" + two(d.getMonth() + 1) + "-" + two(d.getDate()) + "T" + two(d.getHours()) +
                     ":" + two(d.getMinutes()) + ":" + two(d.getSeconds()) + zone,
                 text, room);
});

void describeSystem(char* text, size_t room) { browserDescription(text, static_cast<int>(room)); }

void describeLocalTime(char* text, size_t room) { browserLocalTime(text, static_cast<int>(room)); }

// The page keeps the screen awake (Screen Wake Lock) for the whole run.
void keepSystemAwake() {}
void allowSystemSleep() {}

// At least the time asked for, and not much more. The browser clamps a
// timer to 4 ms once timers have been set from timers five deep; a turn of
// a message channel first starts a fresh chain, so the timer that follows
// runs when asked.
EM_ASYNC_JS(void, browserSleepAtLeast, (double milliseconds), {
    const until = performance.now() + milliseconds;
    const s = Module.sleeping || (Module.sleeping = {});
    if (!s.channel) {
        s.channel = new MessageChannel();
        s.channel.port1.onmessage = () => { const go = s.turn; s.turn = null; if (go) go(); };
    }
    while (performance.now() < until) {
        await new Promise(resolve => { s.turn = resolve; s.channel.port2.postMessage(0); });
        const left = until - performance.now();
        if (left > 0) await new Promise(resolve => setTimeout(resolve, left));
    }
});

void sleepAtLeast(uint32_t milliseconds) { browserSleepAtLeast(milliseconds); }
