#include <windows.h>

#include <chrono>

#include "midi/waits.h"

void pacingSleep(uint32_t milliseconds) { Sleep(milliseconds); }

bool waitForMessage(const std::atomic<uint32_t>& published, uint32_t seen, uint32_t timeoutUs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutUs);
    while (published.load(std::memory_order_acquire) == seen) {
        if (std::chrono::steady_clock::now() >= until) return false;
        Sleep(1);
    }
    return true;
}

void wakeMessageWaiters(std::atomic<uint32_t>&) {}
