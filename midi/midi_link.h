// The MIDI link to the device: device checks, opening and closing the ports,
// sending System Exclusive messages and capturing the replies.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/outcome.h"
#include "midi/backend.h"

constexpr uint32_t RX_BUFFER_BYTES = 200;
constexpr uint32_t UNPREPARE_RETRY_MS = 100;
constexpr uint32_t UNPREPARE_MAX_RETRIES = 50;  // a driver stuck longer is given up

struct MidiLink {
    MidiPort inHandle;
    MidiPort outHandle;
    std::atomic<bool> inOpen;   // also tells the callback to re-queue the buffer
    bool outOpen;
    MidiBuffer inHeader;
    uint8_t rxBuffer[RX_BUFFER_BYTES];
    MidiBuffer outHeader;
    // The callback stores the code (the byte after 0xF0) first, then the
    // count with release order; the count publishes the message.
    std::atomic<uint8_t> replyCode;
    std::atomic<int16_t> replyCount;
    // Raised after every completed message, so that a poll can end on it.
    std::atomic<uint32_t> messagesPublished;
    uint32_t messagesSeen;  // by the latest look at replyCount (main thread)
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

// The input port's completion callback.
void onMidiInMessage(MidiPort port, uint32_t message, uintptr_t instance, uintptr_t param1,
                     uintptr_t param2);

// Bytes of the latest completed input message, 0 once taken.
inline int16_t replyCount() {
    midiLink.messagesSeen = midiLink.messagesPublished.load(std::memory_order_acquire);
    return midiLink.replyCount.load(std::memory_order_acquire);
}

// The pause between two polls of a reply wait: it ends once a message newer
// than the latest look at replyCount is published, or after the platform's
// poll length (1 ms sleep on Windows).
inline void pollPause() { midiBackendPollPause(midiLink.messagesPublished, midiLink.messagesSeen); }

// Clears the count and returns the reply code of the latest message.
uint8_t takeReplyCode();

// The pacing sleep after each chunk.
inline void sleepMs(uint32_t milliseconds) { midiBackendSleep(milliseconds); }
