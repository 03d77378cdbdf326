// Framing of outgoing messages and capture of replies.
#include <gtest/gtest.h>

#include <cstring>

#include "core/console.h"
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
    EXPECT_EQ(sendSysEx(payload, 47), 0);
    EXPECT_TRUE(simLog().sent.empty());
}

TEST(MidiCallback, StoresTheCountAndCodeOfEachMessage) {
    midiLink.replyCount.store(0);
    const uint8_t reply[] = {0xF0, 0x1A, 0xF7};
    std::memcpy(midiLink.rxBuffer, reply, sizeof reply);

    onMidiInMessage(&midiLink, 3);
    EXPECT_EQ(replyCount(), 3);
    EXPECT_EQ(takeReplyCode(), 0x1A);
    EXPECT_EQ(replyCount(), 0);

    // A 1-byte message counts 1 and stays until taken or forgotten.
    onMidiInMessage(&midiLink, 1);
    EXPECT_EQ(replyCount(), 1);
    forgetReplies();
    EXPECT_EQ(replyCount(), 0);
}

}  // namespace
