#pragma once

#include <cstdint>

// A sleep for the link's pacing. Back-to-back sleeps keep to the sum of
// what was asked: the time one sleep overslept (the system's wake-up
// latency) is taken off the next, so a run of 1 ms waits lasts close to
// 1 ms each instead of the 1.1 ms a plain sleep gives. It never spins.
void pacingSleep(uint32_t milliseconds);
