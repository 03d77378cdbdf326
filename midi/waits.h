// The link's two kinds of wait, as the platform provides them.
#pragma once

#include <atomic>
#include <cstdint>

// A sleep for the link's pacing: never shorter than asked, and no longer
// than the system's wake-up takes. On Linux it asks to be woken a little
// early and spends what is left awake (a few microseconds at most).
void pacingSleep(uint32_t milliseconds);

// What one poll of a reply wait lasts at most on Linux: a Windows poll, a
// 1 ms sleep at the default timer tick of 15.625 ms. The device's firmware
// was made against that timing.
constexpr uint32_t LINUX_POLL_US = 15625;

// The input callback publishes every completed message by raising a count.
// Waits until the count differs from `seen` (true) or `timeoutUs` has
// passed (false), whichever comes first; the Windows build polls in 1 ms
// sleeps instead.
bool waitForMessage(const std::atomic<uint32_t>& published, uint32_t seen, uint32_t timeoutUs);
// Wakes the threads waiting for the count, after it was raised.
void wakeMessageWaiters(std::atomic<uint32_t>& published);
