#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

#include "midi/pacing_sleep.h"

namespace {

constexpr long long NS_PER_MS = 1000000;
// An overshoot up to this much is taken as the previous sleep's wake-up
// latency and made up for; a longer gap means other work ran in between.
constexpr long long CARRY_LIMIT_NS = 300000;

long long toNs(const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

timespec fromNs(long long ns) {
    timespec t;
    t.tv_sec = static_cast<time_t>(ns / 1000000000LL);
    t.tv_nsec = static_cast<long>(ns % 1000000000LL);
    return t;
}

long long lastDeadline = 0;
bool slackSet = false;

}  // namespace

void pacingSleep(uint32_t milliseconds) {
    if (!slackSet) {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // wake as close to the deadline as the system can
        slackSet = true;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long start = toNs(now);
    if (lastDeadline != 0 && start - lastDeadline >= 0 && start - lastDeadline < CARRY_LIMIT_NS) start = lastDeadline;
    long long deadline = start + milliseconds * NS_PER_MS;
    timespec until = fromNs(deadline);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
    lastDeadline = deadline;
}
