// The computer, where it runs Linux.
#include <sys/prctl.h>
#include <sys/utsname.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/platform.h"

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

// A console program here has no say over the system's sleep.
void keepSystemAwake() {}
void allowSystemSleep() {}

void sleepAtLeast(uint32_t milliseconds) {
    // Wake as close to the deadline as the system can (the default slack
    // is 50 us); the setting belongs to the calling thread.
    thread_local bool slackTightened = false;
    if (!slackTightened) {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        slackTightened = true;
    }
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_nsec -= 1000000000;
        ++deadline.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}
