#include <windows.h>

#include "midi/waits.h"

void pacingSleep(uint32_t milliseconds) { Sleep(milliseconds); }

bool waitForMessage(const std::atomic<uint32_t>& published, uint32_t seen, uint32_t timeoutUs) {
    DWORD start = GetTickCount();
    while (published.load(std::memory_order_acquire) == seen) {
        if ((GetTickCount() - start) * 1000ull >= timeoutUs) return false;
        Sleep(1);
    }
    return true;
}

void wakeMessageWaiters(std::atomic<uint32_t>&) {}
