#include <linux/futex.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "midi/waits.h"

namespace {

constexpr long long NS_PER_US = 1000;
constexpr long long NS_PER_MS = 1000000;
constexpr long long NS_PER_S = 1000000000;

long long nowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * NS_PER_S + t.tv_nsec;
}

timespec fromNs(long long ns) {
    timespec t;
    t.tv_sec = static_cast<time_t>(ns / NS_PER_S);
    t.tv_nsec = static_cast<long>(ns % NS_PER_S);
    return t;
}

// Wake as close to a deadline as the system can (the default slack is
// 50 us). The setting belongs to the calling thread.
void tightenTimerSlack() {
    thread_local bool done = false;
    if (done) return;
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    done = true;
}

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "the count is a plain 32-bit word the kernel can wait on");

// Threads inside waitForMessage: a publisher makes the wake-up call only
// when someone waits.
std::atomic<uint32_t> waiters{0};

uint32_t* word(const std::atomic<uint32_t>& count) {
    return reinterpret_cast<uint32_t*>(const_cast<std::atomic<uint32_t>*>(&count));
}

// The system wakes a sleeper some time after its deadline. The pacing
// sleep asks to be woken that much early, by the least wake-up delay seen
// over the previous round of sleeps, and waits out what is left of its time
// if the wake-up came early after all (a few microseconds at most).
constexpr int ROUND = 64;
constexpr long long MAX_LEAD_NS = 200000;

struct WakeUpLead {
    long long lead = 0;
    long long leastDelay = MAX_LEAD_NS;
    int sleepsInRound = 0;
};

// Each thread learns its own wake-ups.
thread_local WakeUpLead wakeUps;

void noteWakeUpDelay(long long delay) {
    WakeUpLead& w = wakeUps;
    if (delay < w.leastDelay) w.leastDelay = delay < 0 ? 0 : delay;
    if (++w.sleepsInRound < ROUND) return;
    w.lead = w.leastDelay;
    w.leastDelay = MAX_LEAD_NS;
    w.sleepsInRound = 0;
}

}  // namespace

void pacingSleep(uint32_t milliseconds) {
    tightenTimerSlack();
    long long deadline = nowNs() + milliseconds * NS_PER_MS;
    long long wakeAt = deadline - wakeUps.lead;
    timespec until = fromNs(wakeAt);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
    long long woke = nowNs();
    noteWakeUpDelay(woke - wakeAt);
    while (woke < deadline) woke = nowNs();  // never shorter than asked
}

bool waitForMessage(const std::atomic<uint32_t>& published, uint32_t seen, uint32_t timeoutUs) {
    tightenTimerSlack();
    timespec until = fromNs(nowNs() + timeoutUs * NS_PER_US);
    waiters.fetch_add(1, std::memory_order_seq_cst);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    bool timedOut = false;
    while (!timedOut && published.load(std::memory_order_seq_cst) == seen) {
        // Sleeps only while the count still holds `seen`: a message published
        // in between ends the wait at once.
        long r = syscall(SYS_futex, word(published), FUTEX_WAIT_BITSET | FUTEX_PRIVATE_FLAG, seen, &until,
                         nullptr, FUTEX_BITSET_MATCH_ANY);
        timedOut = r != 0 && errno == ETIMEDOUT;
    }
    waiters.fetch_sub(1, std::memory_order_relaxed);
    return published.load(std::memory_order_acquire) != seen;
}

void wakeMessageWaiters(std::atomic<uint32_t>& published) {
    // Either the waiter sees the raised count before it sleeps, or this sees
    // the waiter (both sides are sequentially consistent).
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (waiters.load(std::memory_order_relaxed) == 0) return;
    syscall(SYS_futex, word(published), FUTEX_WAKE | FUTEX_PRIVATE_FLAG, INT_MAX, nullptr, nullptr, 0);
}
