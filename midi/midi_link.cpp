#include "midi/midi_link.h"

#include <cstring>

#include "app/console.h"
#include "midi/waits.h"
#include "protocol/wire.h"

MidiLink midiLink;

namespace {

constexpr int CLOSE_ATTEMPTS = 10;

bool startsWithIgnoringCase(const char* text, const char* prefix) {
    for (size_t i = 0; prefix[i] != 0; ++i) {
        unsigned char a = static_cast<unsigned char>(text[i]);
        unsigned char b = static_cast<unsigned char>(prefix[i]);
        if (a == 0) return false;
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
        if (a != b) return false;
    }
    return true;
}

// The operating system's own software ports, passed over by the search.
bool isSystemPort(const char* name) { return startsWithIgnoringCase(name, "Microsoft"); }

// A port's name by `query`; a failed query gives an empty name.
void portName(MidiResult (*query)(uint16_t, char*), uint16_t index, char* name) {
    if (query(index, name) != MIDI_OK) name[0] = 0;
    name[MIDI_PORT_NAME_CHARS - 1] = 0;
}

void queueReceiveBuffer() {
    MidiBuffer& header = midiLink.inHeader;
    header.data = midiLink.rxBuffer;
    header.length = RX_BUFFER_BYTES;
    header.bytesRecorded = 0;
    header.flags = 0;
    midiBackendInPrepare(midiLink.inHandle, &header);
    midiBackendInAddBuffer(midiLink.inHandle, &header);
}

// Stops the open input port, takes its receive buffer back and closes it.
// A port does not close while a buffer is queued; a reply arriving during
// the close may have queued it again, so the close is retried.
void releaseInputPort() {
    MidiPort port = midiLink.inHandle;
    midiBackendInStop(port);
    for (int attempt = 0; attempt < CLOSE_ATTEMPTS; ++attempt) {
        midiBackendInReset(port);
        midiBackendInUnprepare(port, &midiLink.inHeader);
        if (midiBackendInClose(port) != MIDI_STILL_PLAYING) return;
        midiBackendSleep(1);
    }
}

}  // namespace

Outcome probeMidiDevices(uint16_t& outputStart) {
    uint16_t inputs = midiBackendInCount();
    if (inputs == 0) {
        consolePrint("Error: Did not find the USB Audio device, please check!\n\n");
        return Outcome::Stop;
    }
    if (inputs > 1) {
        consolePrint("Error:Does your computer have identified %d USB audiol devices, Please remove "
                     "the other USB audiol devices!\n\n",
                     inputs);
        return Outcome::Stop;
    }
    outputStart = 0;
    if (midiBackendOutCount() > 1) {
        char name[50] = {};
        portName(midiBackendOutName, 0, name);
        if (startsWithIgnoringCase(name, "Microsoft GS")) outputStart = 1;
    }
    return Outcome::GoOn;
}

uint16_t openMidiIn(uint16_t first) {
    for (uint16_t index = first;; ++index) {
        MidiResult result = midiBackendInOpen(midiLink.inHandle, index, onMidiInMessage);
        if (result != MIDI_OK) {
            midiLink.inOpen.store(false, std::memory_order_release);
            return static_cast<uint16_t>(result);
        }
        char name[MIDI_PORT_NAME_CHARS] = {};
        portName(midiBackendInName, index, name);
        consolePrint("MIDI IN DEVICE: %s\r\n", name);

        queueReceiveBuffer();
        midiLink.inOpen.store(true, std::memory_order_release);
        MidiResult started = midiBackendInStart(midiLink.inHandle);
        if (!isSystemPort(name)) return static_cast<uint16_t>(started);

        // A system port: close it before trying the next one.
        midiLink.inOpen.store(false, std::memory_order_release);
        releaseInputPort();
    }
}

uint16_t openMidiOut(uint16_t first) {
    for (uint16_t index = first;; ++index) {
        MidiResult result = midiBackendOutOpen(midiLink.outHandle, index);
        if (result != MIDI_OK) {
            midiLink.outOpen = false;
            return static_cast<uint16_t>(result);
        }
        char name[MIDI_PORT_NAME_CHARS] = {};
        portName(midiBackendOutName, index, name);
        consolePrint("MIDI OUT DEVICE: %s\r\n", name);
        midiLink.outOpen = true;
        if (!isSystemPort(name)) return 0;

        // A system port: close it before trying the next one.
        midiLink.outOpen = false;
        midiBackendOutClose(midiLink.outHandle);
    }
}

int closeMidiIn() {
    if (!midiLink.inOpen.load(std::memory_order_acquire)) return 0;
    midiLink.inOpen.store(false, std::memory_order_release);
    releaseInputPort();
    return 1;
}

int closeMidiOut() {
    if (!midiLink.outOpen) return 0;
    midiLink.outOpen = false;
    midiBackendOutClose(midiLink.outHandle);
    return 1;
}

uint16_t sendSysEx(const uint8_t* payload, uint16_t length) {
    if (length > SYSEX_MAX_PAYLOAD) return 0;
    uint8_t message[100];
    message[0] = 0xF0;
    std::memcpy(message + 1, payload, length);
    message[length + 1] = 0xF7;

    MidiBuffer& header = midiLink.outHeader;
    header.data = message;
    header.length = static_cast<uint32_t>(length + 2);
    header.bytesRecorded = 0;
    header.flags = 0;

    MidiPort port = midiLink.outHandle;
    MidiResult result = midiBackendOutPrepare(port, &header);
    if (result != MIDI_OK) return static_cast<uint16_t>(result);
    result = midiBackendOutLongMsg(port, &header);
    if (result != MIDI_OK) {
        midiBackendOutUnprepare(port, &header);  // the message is gone with this frame
        return static_cast<uint16_t>(result);
    }
    // Wait for the driver to finish with the message, but not forever: a
    // driver that never lets go is given up and reported as a failed send.
    for (uint32_t retries = 0; midiBackendOutUnprepare(port, &header) == MIDI_STILL_PLAYING;
         ++retries) {
        if (retries == UNPREPARE_MAX_RETRIES) {
            midiBackendOutReset(port);
            midiBackendOutUnprepare(port, &header);
            return static_cast<uint16_t>(MIDI_STILL_PLAYING);
        }
        midiBackendSleep(UNPREPARE_RETRY_MS);
    }
    return 0;
}

void onMidiInMessage(MidiPort, uint32_t message, uintptr_t, uintptr_t param1, uintptr_t) {
    if (message != MIDI_IN_LONGDATA) return;
    const auto* completed = reinterpret_cast<const MidiBuffer*>(param1);
    auto bytes = static_cast<int16_t>(completed->bytesRecorded & 0xFFFF);
    midiLink.replyCode.store(midiLink.rxBuffer[1], std::memory_order_relaxed);
    midiLink.replyCount.store(bytes, std::memory_order_release);
    midiLink.messagesPublished.fetch_add(1, std::memory_order_release);
    wakeMessageWaiters(midiLink.messagesPublished);

    if (midiLink.inOpen.load(std::memory_order_acquire)) {
        // Hand the receive buffer back for the next reply.
        midiBackendInUnprepare(midiLink.inHandle, &midiLink.inHeader);
        queueReceiveBuffer();
    }
}

uint8_t takeReplyCode() {
    midiLink.replyCount.store(0, std::memory_order_relaxed);
    return midiLink.replyCode.load(std::memory_order_acquire);
}
