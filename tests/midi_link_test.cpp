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

TEST_F(MidiLinkTest, FramesPayloadsUpTo46Bytes) {
    for (uint16_t length : {7, 46}) {
        uint8_t payload[47];
        for (uint16_t i = 0; i < length; ++i) payload[i] = static_cast<uint8_t>(i + 1);
        EXPECT_EQ(sendSysEx(payload, length), 0);
        SimBytes expected = {0xF0};
        expected.insert(expected.end(), payload, payload + length);
        expected.push_back(0xF7);
        EXPECT_EQ(simLog().sent.back(), expected);
    }
    EXPECT_EQ(simLog().sent.size(), 2u);
    EXPECT_EQ(simLog().sent[0].size(), 9u);
    EXPECT_EQ(simLog().sent[1].size(), 48u);
}

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
