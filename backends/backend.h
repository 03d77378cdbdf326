// The MIDI back end: what the MIDI link needs from the platform's MIDI
// interface, at the level of the link's own operations. One source file per
// back end implements it (WinMM on Windows, the ALSA sequencer on Linux, the
// emulated device for the tests and the demo); each executable links
// exactly one. A back end has at most one input and one output port open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using MidiResult = uint32_t;  // 0 is success; otherwise the back end's error code

constexpr MidiResult MIDI_OK = 0;
constexpr MidiResult MIDI_ERROR = 1;     // unspecified failure
constexpr MidiResult MIDI_BAD_PORT = 2;  // no port with that index

constexpr size_t MIDI_PORT_NAME_CHARS = 32;  // 31 characters and the end mark

// Told of each completed System Exclusive message: `bytes` bytes of it
// (0xF0 to 0xF7, cut to the receive area's room) are in the receive area.
// A back end tells it on a thread of its own (a driver's callback), or on
// the run's thread inside midiBackendPollPause and
// midiBackendReceivePending.
using MidiReceiver = void (*)(void* context, uint32_t bytes);

// Finds the MIDI ports (on Linux it opens the sequencer, and says why where
// it cannot); the counts, names and opens below are of the ports it found.
void midiBackendListPorts();
uint16_t midiBackendInCount();
uint16_t midiBackendOutCount();
// Writes the port's name (at most 31 characters); on failure the name is empty.
MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]);
MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]);

// For a back end that keeps its ports in a list: the name of port `index`,
// cut to 31 characters, or MIDI_BAD_PORT and an empty name.
template <typename Ports>
MidiResult portNameAt(const Ports& ports, uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    name[0] = 0;
    if (index >= ports.size()) return MIDI_BAD_PORT;
    std::strncpy(name, ports[index].name.c_str(), MIDI_PORT_NAME_CHARS - 1);
    name[MIDI_PORT_NAME_CHARS - 1] = 0;
    return MIDI_OK;
}

// Opens input port `index` with `area` (`room` bytes) to receive into.
MidiResult midiBackendInOpen(uint16_t index, uint8_t* area, uint32_t room, MidiReceiver receiver, void* context);
// Starts reception on the open input port: from now on `receiver` is told.
MidiResult midiBackendInStart();
// Stops and closes the open input port. Once it returns, `receiver` is not
// running and is not called again.
void midiBackendInClose();

MidiResult midiBackendOutOpen(uint16_t index);
// Sends one System Exclusive message and returns once it has left the port.
// `message` must stay valid until the next send or the close.
MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length);
void midiBackendOutClose();

// The platform's sleep: the pause after each chunk.
void midiBackendSleep(uint32_t milliseconds);
// One poll's pause of a reply wait: the platform's poll length, or less if
// the device's next message completes meanwhile.
void midiBackendPollPause();
// Tells the receiver, before this returns, of every message that has
// arrived but not yet been told (nothing to do where a driver's thread
// tells it as each message arrives).
void midiBackendReceivePending();
