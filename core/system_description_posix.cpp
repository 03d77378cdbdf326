#include <sys/utsname.h>

#include <cstdio>
#include <ctime>

#include "core/system_description.h"

void describeSystem(char* text, size_t room) {
    utsname info;
    if (uname(&info) != 0) {
        std::snprintf(text, room, "unknown");
        return;
    }
    std::snprintf(text, room, "%s, kernel release %s (%s)", info.sysname, info.release, info.machine);
}

void describeLocalTime(char* text, size_t room) {
    std::time_t now = std::time(nullptr);
    std::tm local;
    localtime_r(&now, &local);
    char zone[8] = "";
    std::strftime(zone, sizeof zone, "%z", &local);  // +0100
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text, room, "%s%.3s:%.2s", stamp, zone, zone + 3);
}
