// The emulated Calvenor Pro target, free of ports, threads and clocks: it
// parses the identify request, reassembles records from the hex chunks by
// their length field, checks each record's checksum and answers; every
// answer can be scripted instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using SimBytes = std::vector<uint8_t>;

// One answer of the device to an identify request or a record.
struct SimReply {
    enum Kind { Model, Silence, Message };
    Kind kind = Model;      // Model: what the device itself would answer
    SimBytes message;       // Message: the bytes delivered, 0xF0 included
    uint32_t delayMs = 2;   // after the host's message
    uint32_t copies = 1;    // Message: delivered this many times,
    uint32_t copyGapMs = 1; // ... this far apart
};

// Delivered when the host sends its next message, before that message.
constexpr uint32_t SIM_ON_NEXT_SEND = 0xFFFFFFFF;

SimReply simModel(uint32_t delayMs = 0);  // 0: the script's modelDelayMs
SimReply simSilence();
SimReply simCode(uint8_t code, uint32_t delayMs = 2);           // F0 code F7
SimReply simMessage(SimBytes message, uint32_t delayMs = 2);

// How the device answers.
struct DeviceScript {
    uint8_t deviceId = 0x48;                 // what the device answers to identify
    std::vector<SimReply> identifyReplies;   // per identify request, in order
    SimReply identifyOtherwise = simModel(); // once those are used up
    std::vector<SimReply> recordReplies;     // per record received, in order
    SimReply recordOtherwise = simModel();   // ACK, or CRC error for a bad checksum
    uint32_t modelDelayMs = 2;               // delay of the device's own answers
    uint32_t partialTimeoutMs = 40;          // a record left unfinished this long is dropped
    bool keepLog = true;                     // log each record (behind ports: each message too)
};

// What the device saw.
struct DeviceLog {
    std::vector<SimBytes> records;          // each record the device reassembled
    std::vector<std::string> deviceErrors;  // messages the device could not make sense of
    uint32_t identifyRequests = 0;
};

struct SimDevice {
    const DeviceScript* script = nullptr;
    size_t identifyIndex = 0;
    size_t recordIndex = 0;
    SimBytes assembling;  // bytes of the record being received
    uint64_t lastChunkAt = 0;
};

// Takes one message the host sent to the device at time `now` (in
// milliseconds) and returns the answer (kind Silence when there is none).
SimReply simDeviceReceive(SimDevice& device, const SimBytes& message, uint64_t now, DeviceLog& log);
