// The MIDI back end: the few operations the MIDI link needs from the
// platform, in the shape of the Windows multimedia MIDI interface. One source
// file per back end implements them; the build links exactly one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

using MidiResult = uint32_t;  // 0 is success; other values are the back end's error codes
using MidiPort = uintptr_t;   // the back end's handle of an open port

constexpr MidiResult MIDI_OK = 0;
constexpr MidiResult MIDI_ERROR = 1;              // unspecified failure
constexpr MidiResult MIDI_BAD_PORT = 2;           // no port with that index
constexpr MidiResult MIDI_UNPREPARED = 64;        // buffer used before it was prepared
constexpr MidiResult MIDI_STILL_PLAYING = 65;     // buffer still queued or being sent

// Notices passed to the input callback (the Windows message numbers).
constexpr uint32_t MIDI_IN_OPEN = 0x3C1;
constexpr uint32_t MIDI_IN_CLOSE = 0x3C2;
constexpr uint32_t MIDI_IN_DATA = 0x3C3;
constexpr uint32_t MIDI_IN_LONGDATA = 0x3C4;      // param1: the completed MidiBuffer
constexpr uint32_t MIDI_IN_ERROR = 0x3C5;
constexpr uint32_t MIDI_IN_LONGERROR = 0x3C6;     // param1: the MidiBuffer handed back

constexpr size_t MIDI_PORT_NAME_CHARS = 32;       // 31 characters and the end mark

// Buffer state flags (as the Windows header flags).
constexpr uint32_t MIDI_BUFFER_DONE = 0x1;
constexpr uint32_t MIDI_BUFFER_PREPARED = 0x2;
constexpr uint32_t MIDI_BUFFER_QUEUED = 0x4;

// A buffer handed to the back end: a message to send or room for one to
// receive. `native` is the back end's own record of it.
struct MidiBuffer {
    uint8_t* data;
    uint32_t length;
    uint32_t bytesRecorded;
    uint32_t flags;
    alignas(16) unsigned char native[192];
};

// Called on the back end's own thread (the Windows MidiInProc shape).
using MidiInCallback = void (*)(MidiPort port, uint32_t message, uintptr_t instance,
                                uintptr_t param1, uintptr_t param2);

uint16_t midiBackendInCount();
uint16_t midiBackendOutCount();
// Writes the port's name (at most 31 characters); on failure the name is empty.
MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]);
MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]);

MidiResult midiBackendInOpen(MidiPort& port, uint16_t index, MidiInCallback callback);
MidiResult midiBackendInPrepare(MidiPort port, MidiBuffer* buffer);
MidiResult midiBackendInUnprepare(MidiPort port, MidiBuffer* buffer);
MidiResult midiBackendInAddBuffer(MidiPort port, MidiBuffer* buffer);
MidiResult midiBackendInStart(MidiPort port);
MidiResult midiBackendInStop(MidiPort port);
MidiResult midiBackendInReset(MidiPort port);  // hands queued buffers back, marked done
MidiResult midiBackendInClose(MidiPort port);

MidiResult midiBackendOutOpen(MidiPort& port, uint16_t index);
MidiResult midiBackendOutPrepare(MidiPort port, MidiBuffer* buffer);
MidiResult midiBackendOutLongMsg(MidiPort port, MidiBuffer* buffer);
MidiResult midiBackendOutUnprepare(MidiPort port, MidiBuffer* buffer);  // MIDI_STILL_PLAYING while sending
MidiResult midiBackendOutReset(MidiPort port);
MidiResult midiBackendOutClose(MidiPort port);

// The platform's sleep: the pacing after each chunk, and the link's waits
// for the driver.
void midiBackendSleep(uint32_t milliseconds);
// One poll's pause of a reply wait (see pollPause in midi_link.h).
void midiBackendPollPause(const std::atomic<uint32_t>& published, uint32_t seen);
