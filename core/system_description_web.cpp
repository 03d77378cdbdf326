#include <emscripten.h>

#include <cstdio>

#include "core/system_description.h"

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
