// An emulated Calvenor Pro target and the MIDI ports it sits behind, for
// tests and the demo. The device parses the identify request, reassembles
// records from the hex chunks by their length field, checks each record's
// checksum and answers; every answer can be scripted instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "midi/backend.h"
#include "midi/waits.h"

using SimBytes = std::vector<uint8_t>;

// One answer of the device to an identify request or a record.
struct SimReply {
    enum Kind { Model, Silence, Message };
    Kind kind = Model;      // Model: what the device itself would answer
    SimBytes message;       // Message: the bytes delivered, 0xF0 included
    uint32_t delayMs = 2;   // after the host's message, in host sleep time
    uint32_t copies = 1;    // Message: delivered this many times, 1 ms apart
};

// Delivered when the host sends its next message, before that message.
constexpr uint32_t SIM_ON_NEXT_SEND = 0xFFFFFFFF;

SimReply simModel(uint32_t delayMs = 0);  // 0: the script's modelDelayMs
SimReply simSilence();
SimReply simCode(uint8_t code, uint32_t delayMs = 2);           // F0 code F7
SimReply simMessage(SimBytes message, uint32_t delayMs = 2);

struct SimPort {
    std::string name;
    bool device = true;               // the target's own port
    MidiResult openResult = MIDI_OK;  // what opening it answers
    MidiResult startResult = MIDI_OK; // what starting it answers (inputs)
};

struct SimScript {
    std::vector<SimPort> inputs = {{"Calvenor Pro"}};
    std::vector<SimPort> outputs = {{"Calvenor Pro"}};
    uint8_t deviceId = 0x48;                 // what the device answers to identify
    std::vector<SimReply> identifyReplies;   // per identify request, in order
    SimReply identifyOtherwise = simModel(); // once those are used up
    std::vector<SimReply> recordReplies;     // per record received, in order
    SimReply recordOtherwise = simModel();   // ACK, or CRC error for a bad checksum
    uint32_t modelDelayMs = 2;               // delay of the device's own answers
    uint32_t partialTimeoutMs = 40;          // a record left unfinished this long is dropped
    uint32_t failSendAt = 0;                 // the Nth message sent (from 1) fails; 0: none
    bool failSendAfter = false;              // ... and every one after it
    uint32_t stillPlaying = 0;               // unprepare answers "still playing" this often per message
    bool realTime = false;                   // sleeps also take real time (the demo)
    bool wallClock = false;                  // time is real time, not the host's sleeps
    uint32_t wallPollUs = LINUX_POLL_US;     // a poll's length on a wall clock
};

// What happened on the emulated ports during a run.
struct SimLog {
    std::vector<SimBytes> sent;             // every message the host sent, in order
    std::vector<std::string> events;        // "in 0 open", "out 1 close", ...
    std::vector<SimBytes> records;          // each record the device reassembled
    std::vector<std::string> deviceErrors;  // messages the device could not make sense of
    std::vector<uint32_t> sleepsBefore;     // host sleeps since the previous message, per message sent
    uint32_t identifyRequests = 0;
    uint32_t sleeps = 0;                    // host sleep calls
    uint64_t sleptMs = 0;                   // host sleep time
};

// --- the device's own behaviour, free of ports and threads -------------

struct SimDevice {
    const SimScript* script = nullptr;
    size_t identifyIndex = 0;
    size_t recordIndex = 0;
    SimBytes assembling;  // bytes of the record being received
    uint64_t lastChunkAt = 0;
};

// Takes one message the host sent to the device at host time `now` and
// returns the answer (kind Silence when there is none).
SimReply simDeviceReceive(SimDevice& device, const SimBytes& message, uint64_t now, SimLog& log);

// --- the emulated ports (the sim back end) ------------------------------

// Starts a fresh emulation: ports, device and log. Not while a port is open.
void simBegin(const SimScript& script);
// A copy of the log so far.
SimLog simLog();
// Whether the calling thread is inside the emulation just now (so that a
// count of the host's own allocations can leave the emulation's out).
bool simBusyOnThisThread();
// Notes something the device's surroundings found wrong (in deviceErrors).
void simNote(const std::string& problem);
