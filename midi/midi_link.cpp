#include "midi/midi_link.h"

#include <cstring>

#include "backends/backend.h"
#include "core/console.h"
#include "core/run_log.h"
#include "core/text.h"

namespace {

// The link's state, all on the run's thread.
struct MidiLink {
    bool inOpen;
    bool outOpen;
    uint8_t rxBuffer[MIDI_RECEIVE_BYTES];  // the latest message taken
    int16_t replyCount;                    // its bytes; 0 once taken
    uint32_t answers;                      // messages of 2 bytes or more received, taken or forgotten
    // The outgoing message: it outlives the send, in case a driver still
    // reads it after the send has given up waiting.
    uint8_t txBuffer[SYSEX_MAX_PAYLOAD + 2];
} midiLink;

// The operating system's own software ports, passed over by the search.
bool isSystemPort(const char* name) { return startsWithIgnoringCase(name, "Microsoft"); }

// A port's name by `query`; a failed query gives an empty name.
void portName(MidiResult (*query)(uint16_t, char*), uint16_t index, char (&name)[MIDI_PORT_NAME_CHARS]) {
    if (query(index, name) != MIDI_OK) name[0] = 0;
    name[MIDI_PORT_NAME_CHARS - 1] = 0;
}

// The 16-bit result code the run sees: a failure never reads as success.
uint16_t resultCode(MidiResult result) {
    if (result == MIDI_OK) return 0;
    return result <= 0xFFFF ? static_cast<uint16_t>(result) : static_cast<uint16_t>(MIDI_ERROR);
}

}  // namespace

Outcome probeMidiDevices(uint16_t& outputStart) {
    midiBackendListPorts();
    uint16_t inputs = midiBackendInCount();
    if (inputs != 1) runLogLine("ports counted: %u input", static_cast<unsigned>(inputs));
    if (inputs == 0) {
        consoleSay(Say::NoDevice);
        return Outcome::Stop;
    }
    if (inputs > 1) {
        consoleSay(Say::TooManyDevices, int{inputs});
        return Outcome::Stop;
    }
    outputStart = 0;
    if (midiBackendOutCount() > 1) {
        char name[MIDI_PORT_NAME_CHARS] = {};
        portName(midiBackendOutName, 0, name);
        if (startsWithIgnoringCase(name, "Microsoft GS")) outputStart = 1;
    }
    runLogLine("ports counted: %u input, %u output; the output search starts at %u", inputs,
               static_cast<unsigned>(midiBackendOutCount()), static_cast<unsigned>(outputStart));
    return Outcome::GoOn;
}

uint16_t openMidiIn(uint16_t first) {
    for (uint16_t index = first;; ++index) {
        MidiResult result = midiBackendInOpen(index);
        if (result != MIDI_OK) {
            runLogLine("input %u does not open (result %lu)", index, static_cast<unsigned long>(result));
            midiLink.inOpen = false;
            return resultCode(result);
        }
        char name[MIDI_PORT_NAME_CHARS] = {};
        portName(midiBackendInName, index, name);
        consoleSay(Say::InDevice, name);

        midiLink.inOpen = true;
        MidiResult started = midiBackendInStart();
        if (!isSystemPort(name)) {
            runLogLine("input %u \"%s\" opened, start result %lu", index, name, static_cast<unsigned long>(started));
            return resultCode(started);
        }

        // A system port: close it before trying the next one.
        runLogLine("input %u \"%s\" passed over: the system's own", index, name);
        midiLink.inOpen = false;
        midiBackendInClose();
    }
}

uint16_t openMidiOut(uint16_t first) {
    for (uint16_t index = first;; ++index) {
        MidiResult result = midiBackendOutOpen(index);
        if (result != MIDI_OK) {
            runLogLine("output %u does not open (result %lu)", index, static_cast<unsigned long>(result));
            midiLink.outOpen = false;
            return resultCode(result);
        }
        char name[MIDI_PORT_NAME_CHARS] = {};
        portName(midiBackendOutName, index, name);
        consoleSay(Say::OutDevice, name);
        midiLink.outOpen = true;
        if (!isSystemPort(name)) {
            runLogLine("output %u \"%s\" opened", index, name);
            return 0;
        }

        // A system port: close it before trying the next one.
        runLogLine("output %u \"%s\" passed over: the system's own", index, name);
        midiLink.outOpen = false;
        midiBackendOutClose();
    }
}

// What arrived up to the release is written to the account, though no
// attempt takes it.
int closeMidiIn() {
    if (!midiLink.inOpen) return 0;
    forgetReplies();
    midiLink.inOpen = false;
    midiBackendInClose();
    return 1;
}

int closeMidiOut() {
    if (!midiLink.outOpen) return 0;
    midiLink.outOpen = false;
    midiBackendOutClose();
    return 1;
}

uint16_t sendSysEx(const uint8_t* payload, uint16_t length, uint32_t pauseMs) {
    if (length > SYSEX_MAX_PAYLOAD) return 0;
    uint8_t* message = midiLink.txBuffer;
    message[0] = 0xF0;
    std::memcpy(message + 1, payload, length);
    message[length + 1] = 0xF7;
    return resultCode(midiBackendOutSend(message, static_cast<uint32_t>(length + 2), pauseMs));
}

int16_t replyCount() { return midiLink.replyCount; }

uint8_t takeReplyCode() {
    midiLink.replyCount = 0;
    return midiLink.rxBuffer[1];
}

namespace {

// Counts a message received, taken or not: the device's answer to a
// request, unless it is a single byte.
void noteReceived(const char* label, const uint8_t* bytes, uint32_t length) {
    runLogBytes(label, bytes, length);
    if (length > 1) ++midiLink.answers;
}

}  // namespace

void forgetReplies() {
    uint8_t dropped[MIDI_RECEIVE_BYTES];
    while (uint32_t bytes = midiBackendDiscard(dropped, sizeof dropped))
        noteReceived("forgotten, never taken:", dropped, bytes);
    midiLink.replyCount = 0;
}

uint16_t forgetEarlyMessages(uint16_t polls) {
    uint16_t messages = 0;
    uint8_t dropped[MIDI_RECEIVE_BYTES];
    for (uint16_t poll = 0; poll < polls; ++poll) {
        midiBackendAwait();
        while (uint32_t bytes = midiBackendTake(dropped, sizeof dropped)) {
            ++messages;
            runLogBytes("forgotten, never taken:", dropped, bytes);
        }
    }
    midiLink.replyCount = 0;
    return messages;
}

// Each message taken overwrites the one before it: the latest stays.
void awaitReply() {
    midiBackendAwait();
    while (uint32_t bytes = midiBackendTake(midiLink.rxBuffer, MIDI_RECEIVE_BYTES)) {
        noteReceived("received:", midiLink.rxBuffer, bytes);
        midiLink.replyCount = static_cast<int16_t>(bytes);
    }
}

uint32_t answersReceived() { return midiLink.answers; }
