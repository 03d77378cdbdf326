// The MIDI link to the device: device checks, opening and closing the ports,
// sending System Exclusive messages and capturing the replies.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/outcome.h"

constexpr uint16_t SYSEX_MAX_PAYLOAD = 46;  // payload bytes of one message
constexpr uint32_t RX_BUFFER_BYTES = 200;   // one incoming message

struct MidiLink {
    bool inOpen;
    bool outOpen;
    uint8_t rxBuffer[RX_BUFFER_BYTES];
    // The outgoing message: it outlives the send, in case a driver still
    // reads it after the send has given up waiting.
    uint8_t txBuffer[SYSEX_MAX_PAYLOAD + 2];
    // The callback stores the code (the byte after 0xF0) first, then the
    // count with release order; the count publishes the message.
    std::atomic<uint8_t> replyCode;
    std::atomic<int16_t> replyCount;
};

extern MidiLink midiLink;

// Checks that exactly one MIDI input port exists and chooses where the
// output port search starts.
Outcome probeMidiDevices(uint16_t& outputStart);

// Open the first usable port from `first` on; 0 or the back end's error code.
uint16_t openMidiIn(uint16_t first);
uint16_t openMidiOut(uint16_t first);

// Close the port if it is open: 1 if one was closed, else 0.
int closeMidiIn();
int closeMidiOut();

// Sends the payload framed as 0xF0 ... 0xF7 and returns once it has left;
// 0 or the back end's error code. A payload over 46 bytes sends nothing.
uint16_t sendSysEx(const uint8_t* payload, uint16_t length);

// The input port's receiver: a completed message of `bytes` bytes is in the
// link's rxBuffer. `link` is the MidiLink the port was opened for.
void onMidiInMessage(void* link, uint32_t bytes);

// Bytes of the latest completed input message, 0 once taken.
inline int16_t replyCount() { return midiLink.replyCount.load(std::memory_order_acquire); }

// Clears the count and returns the reply code of the latest message.
uint8_t takeReplyCode();

// Forgets what has arrived (the count to 0, as takeReplyCode clears it),
// including what the back end still holds: called just before an attempt's
// last message starts out, so that the attempt takes only a reply to
// itself. A reply to that message can come before its send returns, never
// before the send starts.
void forgetReplies();

// The pause between two polls of a reply wait: the platform's poll length
// (a 1 ms sleep on Windows), or less if the device's next message
// completes meanwhile.
void pollPause();

// The pacing sleep (after each chunk).
void linkSleep(uint32_t milliseconds);
