// The Linux back end's waits where no sequencer is open (as on the build
// machines): a poll lasts what a Windows poll lasts, and the pause after a
// send is never shorter than asked. With the device's port open, the poll ends
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

// With no port open the send fails, and the pause after it is still kept.
TEST(LinuxPoll, ThePauseAfterASendIsNeverShorterThanAsked) {
    const uint8_t message[] = {0xF0, 0x7E, 0xF7};
    for (int i = 0; i < 20; ++i) {
        auto start = Clock::now();
        EXPECT_NE(midiBackendOutSend(message, sizeof message, 1), MIDI_OK);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1));
    }
}

}  // namespace
