// The platform's sleep, for the back ends: never shorter than asked.
#pragma once

#include <cstdint>

// On Linux a sleep to an absolute deadline, resumed after a signal, with
// the thread's timer slack at its least; on Windows a Sleep.
void sleepAtLeast(uint32_t milliseconds);
