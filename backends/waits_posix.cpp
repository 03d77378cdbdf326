#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

#include "backends/waits.h"

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
