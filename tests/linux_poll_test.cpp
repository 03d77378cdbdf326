// The Linux back end's waits where no sequencer is open (as on the build
// machines): a poll lasts what a Windows poll lasts, and the pacing sleep
// is never shorter than asked. With the device's port open, the poll ends
// at the device's next message; the real-kernel test runs that.
#include <gtest/gtest.h>

#include <chrono>

#include "backends/backend.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(LinuxPoll, AnUnansweredPollLastsAWindowsPoll) {
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        midiBackendAwait();
        uint8_t area[200];
        EXPECT_EQ(midiBackendTake(area, sizeof area), 0u);
        EXPECT_GE(Clock::now() - start, std::chrono::microseconds(15625));
    }
}

TEST(LinuxPoll, ThePacingSleepIsNeverShorterThanAsked) {
    for (int i = 0; i < 20; ++i) {
        auto start = Clock::now();
        midiBackendPacingSleep(1);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1));
    }
}

}  // namespace
