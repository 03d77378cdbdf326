// Framing of outgoing messages and capture of replies.
#include <gtest/gtest.h>

#include <string>

#include "core/console.h"
#include "tests/console_capture.h"
#include "midi/midi_link.h"
#include "sim/emulation.h"

namespace {

class MidiLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        consoleCaptureTo(&console);
        SimScript script;
        script.outputs = {{"Test Port", false}};  // nothing answers
        simBegin(script);
        ASSERT_EQ(openMidiOut(0), 0);
    }
    void TearDown() override {
        EXPECT_EQ(closeMidiOut(), 1);
        EXPECT_EQ(closeMidiOut(), 0);
        consoleCaptureTo(nullptr);
    }
    std::string console;
};

// The framing of 7- and 46-byte payloads shows on the scenario table's wire
// (identify requests, full chunks); what is not sent shows here.
TEST_F(MidiLinkTest, APayloadOver46BytesSendsNothing) {
    uint8_t payload[47] = {};
    EXPECT_EQ(sendSysEx(payload, 47, 0), 0);
    EXPECT_TRUE(simLog().sent.empty());
}

// Replies as the link takes them: the latest whole message that has come,
// its count and its code together; what came before a forgetting is gone.
TEST(MidiReplies, TheCountAndTheCodeAreOfTheLatestMessage) {
    std::string console;
    consoleCaptureTo(&console);
    SimScript script;
    script.waitingMessage = {0xF0, 0x20, 0xF7};
    // Two answers to one request, both there before the link looks.
    script.identifyReplies = {simMessage({0xF0, 0x77, 0xF7}, 0)};
    script.identifyOtherwise = simMessage({0xF0, 0x1A, 0x00, 0x00, 0xF7}, 0);
    simBegin(script);
    ASSERT_EQ(openMidiIn(0), 0);
    ASSERT_EQ(openMidiOut(0), 0);

    awaitReply();  // the message waiting since the input started
    EXPECT_EQ(replyCount(), 3);
    EXPECT_EQ(takeReplyCode(), 0x20);
    EXPECT_EQ(replyCount(), 0);

    const uint8_t request[] = {0x35, 0x0E, 0x62, 0x19, 0x1C, 0x17, 0x48};
    ASSERT_EQ(sendSysEx(request, sizeof request, 0), 0);
    ASSERT_EQ(sendSysEx(request, sizeof request, 0), 0);
    awaitReply();
    EXPECT_EQ(replyCount(), 5);
    EXPECT_EQ(takeReplyCode(), 0x1A);

    // Forgotten: what has come and not been taken, and the count.
    ASSERT_EQ(sendSysEx(request, sizeof request, 0), 0);
    forgetReplies();
    awaitReply();
    EXPECT_EQ(replyCount(), 0);
    ASSERT_EQ(sendSysEx(request, sizeof request, 0), 0);
    awaitReply();
    EXPECT_EQ(replyCount(), 5);
    forgetReplies();
    EXPECT_EQ(replyCount(), 0);

    EXPECT_EQ(closeMidiIn(), 1);
    EXPECT_EQ(closeMidiOut(), 1);
    consoleCaptureTo(nullptr);
}

}  // namespace
