// The MIDI ports the emulated device sits behind, and the emulation's
// clock: the sim back end, for the tests and the demo.
//
// The device's replies are a queue: each is scheduled when the host's
// message reaches the device and arrives at the input port when it falls
// due; the host takes them in the order they arrived. Time
// is the host's own sleep time: a reply due 3 ms after a message has
// arrived once the host's sleeps and polls add up to 3 ms (a poll counts
// 1 ms). So a run is the same every time, however slow the machine, and a
// reply's timing relative to the host's polls is exactly what the script
// says. On a wall clock (for a host whose sleeps do not come through here)
// time is real time instead, and a poll waits until a reply falls due or
// for a poll's length.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "backends/backend.h"
#include "sim/device.h"

struct SimPort {
    std::string name;
    bool device = true;               // the target's own port
    MidiResult openResult = MIDI_OK;  // what opening it answers
    MidiResult startResult = MIDI_OK; // what starting it answers (inputs)
};

struct SimScript : DeviceScript {
    std::vector<SimPort> inputs = {{"Calvenor Pro"}};
    std::vector<SimPort> outputs = {{"Calvenor Pro"}};
    // A message the device sent before the run listened: it arrives 1 ms
    // after the input starts.
    SimBytes waitingMessage = {};
    uint32_t failSendAt = 0;                 // the Nth message sent (from 1) fails; 0: none
    bool failSendAfter = false;              // ... and every one after it
    bool realTime = false;                   // sleeps also take real time (the demo)
    bool wallClock = false;                  // time is real time, not the host's sleeps
    // A poll's length on a wall clock: a Windows poll, a 1 ms sleep at the
    // default timer tick.
    uint32_t wallPollUs = MIDI_POLL_US;
    // For tests in this process: called as the input port closes, before
    // the close.
    std::function<void()> onInputClose = nullptr;
};

// What happened on the emulated ports during a run.
struct SimLog : DeviceLog {
    std::vector<SimBytes> sent;             // every message the host sent, in order
    std::vector<std::string> events;        // "in 0 open", "out 1 close", ...
    std::vector<uint32_t> sleepsBefore;     // host sleeps and polls since the previous message, per message
    uint32_t sleeps = 0;                    // host sleeps and polls
    uint64_t sleptMs = 0;                   // host time they took
};

// Starts a fresh emulation: ports, device and log. Not while a port is open.
void simBegin(const SimScript& script);
// A copy of the log so far.
SimLog simLog();
// Notes an event of the ports' surroundings ("out 0 reset") or something
// they found wrong (in deviceErrors).
void simEvent(const std::string& event);
void simNote(const std::string& problem);
// Whether the calling thread is inside the emulation just now (so that a
// count of the host's own allocations can leave the emulation's out).
bool simBusyOnThisThread();
