// The MIDI back end: what the MIDI link needs from the platform's MIDI
// interface, at the level of the link's own operations. One source file per
// back end implements it (WinMM on Windows, the ALSA sequencer on Linux, Web
// MIDI in the browser, the emulated device for the tests and the demo);
// each executable links exactly one. A back end has at most one input and
// one output port open.
//
// Replies go one way: the link asks for the next whole message, one poll at
// a time, on the run's own thread. Nothing but whole messages (and the
// discard) crosses this seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using MidiResult = uint32_t;  // 0 is success; otherwise the back end's error code

constexpr MidiResult MIDI_OK = 0;
constexpr MidiResult MIDI_ERROR = 1;     // unspecified failure
constexpr MidiResult MIDI_BAD_PORT = 2;  // no port with that index

constexpr size_t MIDI_PORT_NAME_CHARS = 32;  // 31 characters and the end mark

// The most of one incoming message the link keeps: a longer one is cut.
constexpr uint32_t MIDI_RECEIVE_BYTES = 200;
// What one poll of a reply wait lasts at most where a poll is not a Windows
// Sleep(1): what that sleep lasts at Windows' default timer tick. The
// device's firmware was made against that timing.
constexpr uint32_t MIDI_POLL_US = 15625;

// Whole messages a back end keeps between two takes: far more than a device
// that answers each message once sends within one poll.
constexpr uint32_t MIDI_KEPT_MESSAGES = 16;

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

// Opens input port `index`, ready to receive into the back end's own room.
MidiResult midiBackendInOpen(uint16_t index);
// Starts reception on the open input port: from now on the device's System
// Exclusive messages are kept for midiBackendTake.
MidiResult midiBackendInStart();
// Stops and closes the open input port; what it held is gone.
void midiBackendInClose();

// One poll of a reply wait. Returns at once when a whole message has
// arrived and is not yet taken; otherwise waits at most one poll (Windows:
// a Sleep(1); Linux: until a message is complete, or 15.625 ms; the
// emulated device: its clock) for one.
void midiBackendAwait();
// The oldest whole message that has arrived and is not yet taken (0xF0 to
// 0xF7, cut to `room`), written into `area`: its length, or 0 when there is
// none. Messages are kept in the order they arrived, every one of them
// (up to MIDI_KEPT_MESSAGES; past that the oldest goes), so that the link
// can account for each.
uint32_t midiBackendTake(uint8_t* area, uint32_t room);
// As midiBackendTake; but when no whole message is left, the unfinished one
// is dropped in the same step (where there is a kernel, what waits there is
// read first), so that what is taken next began to arrive after the call
// that returned 0. Called until it returns 0.
uint32_t midiBackendDiscard(uint8_t* area, uint32_t room);

MidiResult midiBackendOutOpen(uint16_t index);
// Sends one System Exclusive message, then lets at least `pauseMs` pass
// (the device's pace between chunks), whether the send succeeded or not.
// What the send waits for is the platform's: WinMM's driver letting go of
// the message (on Windows 11's MIDI service, the write to the device); on
// Linux, the message handed to the kernel's sequencer, which sends it on.
// `message` must stay valid until the next send or the close.
MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length, uint32_t pauseMs);
void midiBackendOutClose();
