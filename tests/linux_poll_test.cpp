// A reply wait's poll on Linux: it ends when the input callback publishes a
// message, and otherwise lasts what a Windows poll lasts (15.625 ms).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "midi/backend.h"
#include "midi/midi_link.h"
#include "midi/waits.h"

namespace {

using Clock = std::chrono::steady_clock;

// Completes a message of `bytes` bytes through the input callback, from
// another thread, as the back end's reader does.
std::thread deliverLater(uint32_t bytes, std::atomic<bool>& delivered) {
    return std::thread([bytes, &delivered] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        delivered = true;
        onMidiInMessage(&midiLink, bytes);
    });
}

TEST(LinuxPoll, AnUnansweredPollLastsAWindowsPoll) {
    midiLink.replyCount.store(0);
    auto start = Clock::now();
    ASSERT_EQ(replyCount(), 0);
    pollPause();
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(15625));
    EXPECT_EQ(replyCount(), 0);
}

TEST(LinuxPoll, APublishedMessageEndsThePoll) {
    // The message comes 1 ms in; without it the poll would last 15.625 ms.
    // A 1-byte message ends the poll too, though it is no reply.
    for (uint32_t bytes : {3u, 1u}) {
        SCOPED_TRACE(bytes);
        midiLink.replyCount.store(0);
        std::atomic<bool> delivered{false};
        ASSERT_EQ(replyCount(), 0);
        auto start = Clock::now();
        std::thread reader = deliverLater(bytes, delivered);
        pollPause();
        auto lasted = Clock::now() - start;
        reader.join();
        EXPECT_TRUE(delivered);
        EXPECT_LT(lasted, std::chrono::microseconds(15625));
        EXPECT_EQ(replyCount(), static_cast<int16_t>(bytes));
    }
}

TEST(LinuxPoll, AMessageBeforeThePauseIsNotMissed) {
    // Published between the look at replyCount and the pause: the pause
    // compares with what that look saw, so it does not wait for another.
    midiLink.replyCount.store(0);
    ASSERT_EQ(replyCount(), 0);
    std::atomic<bool> delivered{false};
    deliverLater(1, delivered).join();
    EXPECT_TRUE(waitForMessage(midiLink.messagesPublished, midiLink.messagesSeen, 60000000));
}

TEST(LinuxPoll, AOneByteMessageEndsOnePollOnly) {
    // The 1-byte message is seen by the next look; the poll after it waits
    // for a newer message again, the whole poll long.
    midiLink.replyCount.store(0);
    ASSERT_EQ(replyCount(), 0);
    std::atomic<bool> delivered{false};
    std::thread reader = deliverLater(1, delivered);
    pollPause();
    reader.join();
    ASSERT_EQ(replyCount(), 1);
    auto start = Clock::now();
    pollPause();
    EXPECT_GE(Clock::now() - start, std::chrono::microseconds(15625));
}

TEST(LinuxPoll, WaitForMessageAnswersWhetherOneCame) {
    std::atomic<uint32_t> published{7};
    EXPECT_TRUE(waitForMessage(published, 6, 60000000));  // already newer: no wait
    std::thread publisher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        published.fetch_add(1);
        wakeMessageWaiters(published);
    });
    EXPECT_TRUE(waitForMessage(published, 7, 60000000));  // a lost wake-up would wait a minute
    publisher.join();
    EXPECT_FALSE(waitForMessage(published, 8, 1000));
}

}  // namespace
