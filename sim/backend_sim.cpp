// The sim back end: the emulated device behind MIDI ports (see emulation.h).
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "backends/backend.h"
#include "core/platform.h"
#include "core/run_log.h"
#include "sim/emulation.h"

namespace {

struct Delivery {
    uint64_t due;      // emulation time; ignored while onNextSend
    bool onNextSend;
    SimBytes message;
};

struct InputPort {
    bool open = false;
    bool started = false;
    uint16_t index = 0;
};

struct OutputPort {
    bool open = false;
    uint16_t index = 0;
};

// The whole emulation: ports, device, clock and the messages on their way.
struct Emulation {
    std::mutex mutex;
    std::condition_variable changed;  // a delivery was scheduled
    bool scriptLoaded = false;
    SimScript script;
    SimDevice device;
    SimLog log;
    uint64_t hostTime = 0;
    std::chrono::steady_clock::time_point wallStart;
    std::vector<Delivery> pending;  // on their way, in the order scheduled
    std::deque<SimBytes> arrived;   // at the input port, not yet taken
    InputPort input;
    OutputPort output;
    uint32_t messagesSent = 0;
    uint32_t sleepsSinceSend = 0;
};

Emulation& emulation() {
    static Emulation e;
    return e;
}

// How deep the current thread is inside the emulation (holding its lock).
thread_local int simDepth = 0;

// The emulation's lock; while it is held, the thread is inside the emulation.
struct SimLock {
    std::unique_lock<std::mutex> held;
    SimLock() : held(emulation().mutex) { ++simDepth; }
    ~SimLock() { --simDepth; }
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
};

// Without simBegin (the demo), the device answers the identify request and
// acknowledges every record a few milliseconds later, in real time.
Emulation& loaded() {
    Emulation& e = emulation();
    if (e.scriptLoaded) return e;
    e.scriptLoaded = true;
    e.script = SimScript();
    e.script.realTime = true;
    e.script.modelDelayMs = 12;
    e.device = SimDevice();
    e.device.script = &e.script;
    return e;
}

// A host sleep or poll of `milliseconds` on the host's clock.
void hostSleep(Emulation& e, uint32_t milliseconds) {
    ++e.log.sleeps;
    ++e.sleepsSinceSend;
    e.log.sleptMs += milliseconds;
    e.hostTime += milliseconds;
}

uint64_t currentTime(const Emulation& e) {
    if (!e.script.wallClock) return e.hostTime;
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - e.wallStart).count());
}

// When the next delivery falls due, if any is waiting for a time.
bool nextDue(const Emulation& e, uint64_t& due) {
    bool any = false;
    for (const Delivery& d : e.pending) {
        if (!d.onNextSend && (!any || d.due < due)) {
            due = d.due;
            any = true;
        }
    }
    return any;
}

// Moves every delivery that is due to the input port, earliest first; one
// that finds the port closed, not started or not the device's is lost.
void arrive(Emulation& e) {
    uint64_t now = currentTime(e);
    for (;;) {
        auto next = e.pending.end();
        for (auto d = e.pending.begin(); d != e.pending.end(); ++d)
            if (!d->onNextSend && d->due <= now && (next == e.pending.end() || d->due < next->due)) next = d;
        if (next == e.pending.end()) return;
        const InputPort& in = e.input;
        if (in.open && in.started && e.script.inputs[in.index].device) {
            e.arrived.push_back(std::move(next->message));
        } else {
            e.log.events.push_back("reply dropped");
        }
        e.pending.erase(next);
    }
}

// The oldest message that has arrived, cut to `room`; 0 when none has.
uint32_t takeArrived(Emulation& e, uint8_t* area, uint32_t room) {
    arrive(e);
    if (e.arrived.size() > MIDI_KEPT_MESSAGES) e.arrived.erase(e.arrived.begin(), e.arrived.end() - MIDI_KEPT_MESSAGES);
    if (e.arrived.empty()) return 0;
    const SimBytes& oldest = e.arrived.front();
    uint32_t bytes = std::min(static_cast<uint32_t>(oldest.size()), room);
    if (bytes > 0) std::memcpy(area, oldest.data(), bytes);
    e.arrived.pop_front();
    return bytes;
}

void event(Emulation& e, const char* direction, uint16_t index, const char* what) {
    e.log.events.push_back(std::string(direction) + " " + std::to_string(index) + " " + what);
}

}  // namespace

void simBegin(const SimScript& script) {
    SimLock guard;
    Emulation& e = emulation();
    e.scriptLoaded = true;
    e.script = script;
    e.device = SimDevice();
    e.device.script = &e.script;
    e.log = SimLog();
    e.hostTime = 0;
    e.wallStart = std::chrono::steady_clock::now();
    e.pending.clear();
    e.arrived.clear();
    e.input = InputPort();
    e.output = OutputPort();
    e.messagesSent = 0;
    e.sleepsSinceSend = 0;
}

bool simBusyOnThisThread() { return simDepth > 0; }

void simEvent(const std::string& what) {
    SimLock guard;
    emulation().log.events.push_back(what);
}

void simNote(const std::string& problem) {
    SimLock guard;
    emulation().log.deviceErrors.push_back(problem);
}

SimLog simLog() {
    SimLock guard;
    return emulation().log;
}

// The script lists the ports.
void midiBackendListPorts() {
    SimLock guard;
    Emulation& e = loaded();
    for (size_t i = 0; i < e.script.inputs.size(); ++i)
        runLogLine("emulated port in %u \"%s\": counts%s", static_cast<unsigned>(i), e.script.inputs[i].name.c_str(),
                   e.script.inputs[i].device ? ", the device's" : "");
    for (size_t i = 0; i < e.script.outputs.size(); ++i)
        runLogLine("emulated port out %u \"%s\": counts%s", static_cast<unsigned>(i), e.script.outputs[i].name.c_str(),
                   e.script.outputs[i].device ? ", the device's" : "");
}

uint16_t midiBackendInCount() {
    SimLock guard;
    return static_cast<uint16_t>(loaded().script.inputs.size());
}

uint16_t midiBackendOutCount() {
    SimLock guard;
    return static_cast<uint16_t>(loaded().script.outputs.size());
}

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    SimLock guard;
    return portNameAt(loaded().script.inputs, index, name);
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    SimLock guard;
    return portNameAt(loaded().script.outputs, index, name);
}

MidiResult midiBackendInOpen(uint16_t index) {
    SimLock guard;
    Emulation& e = loaded();
    if (index >= e.script.inputs.size()) return MIDI_BAD_PORT;
    if (e.input.open) return MIDI_ERROR;  // the emulation has one input at a time
    if (e.script.inputs[index].openResult != MIDI_OK) return e.script.inputs[index].openResult;
    e.input = {true, false, index};
    e.arrived.clear();
    event(e, "in", index, "open");
    return MIDI_OK;
}

// A message the device sent before the run listened arrives 1 ms after the
// input starts (within the first poll), as a USB device's does: the host
// fetches it only once the port listens.
MidiResult midiBackendInStart() {
    SimLock guard;
    Emulation& e = emulation();
    if (!e.input.open) return MIDI_ERROR;
    event(e, "in", e.input.index, "start");
    if (e.script.inputs[e.input.index].startResult != MIDI_OK) return e.script.inputs[e.input.index].startResult;
    e.input.started = true;
    if (!e.script.waitingMessage.empty() && e.script.inputs[e.input.index].device) {
        e.pending.push_back({currentTime(e) + 1, false, e.script.waitingMessage});
        e.changed.notify_all();
    }
    return MIDI_OK;
}

// Once closed, nothing more arrives, and what had arrived is gone.
void midiBackendInClose() {
    std::function<void()> beforeClose;
    {
        SimLock guard;
        if (emulation().input.open) beforeClose = emulation().script.onInputClose;
    }
    if (beforeClose) beforeClose();
    SimLock guard;
    Emulation& e = emulation();
    if (!e.input.open) return;
    event(e, "in", e.input.index, "close");
    e.input.open = false;
    e.pending.clear();
    e.arrived.clear();
}

MidiResult midiBackendOutOpen(uint16_t index) {
    SimLock guard;
    Emulation& e = loaded();
    if (index >= e.script.outputs.size()) return MIDI_BAD_PORT;
    if (e.output.open) return MIDI_ERROR;  // one output at a time
    if (e.script.outputs[index].openResult != MIDI_OK) return e.script.outputs[index].openResult;
    e.output = {true, index};
    event(e, "out", index, "open");
    return MIDI_OK;
}

namespace {

MidiResult sendNow(const uint8_t* data, uint32_t length) {
    SimLock guard;
    Emulation& e = emulation();
    if (!e.output.open) return MIDI_ERROR;
    ++e.messagesSent;
    if (e.script.failSendAt != 0 &&
        (e.messagesSent == e.script.failSendAt || (e.script.failSendAfter && e.messagesSent > e.script.failSendAt))) {
        e.log.events.push_back("send " + std::to_string(e.messagesSent) + " failed");
        return MIDI_ERROR;
    }
    SimBytes message(data, data + length);
    if (e.script.keepLog) {
        e.log.sent.push_back(message);
        e.log.sleepsBefore.push_back(e.sleepsSinceSend);
    }
    e.sleepsSinceSend = 0;

    // A reply held back for this moment arrives first, and a poll waiting
    // on the wall clock hears of it at once.
    uint64_t now = currentTime(e);
    bool released = false;
    for (Delivery& d : e.pending) {
        if (d.onNextSend) {
            d.onNextSend = false;
            d.due = now;
            released = true;
        }
    }
    arrive(e);
    if (released) e.changed.notify_all();

    if (e.script.outputs[e.output.index].device) {
        SimReply reply = simDeviceReceive(e.device, message, now, e.log);
        if (reply.kind == SimReply::Message) {
            bool onNext = reply.delayMs == SIM_ON_NEXT_SEND;
            for (uint32_t copy = 0; copy < reply.copies; ++copy)
                e.pending.push_back({onNext ? 0 : now + reply.delayMs + copy * reply.copyGapMs, onNext, reply.message});
            // A reply due now has arrived before this returns.
            arrive(e);
            e.changed.notify_all();
        }
    }
    return MIDI_OK;
}

// The pause after a send; in real time it also takes the platform's time.
void pace(uint32_t milliseconds) {
    bool realTime;
    {
        SimLock guard;
        Emulation& e = loaded();
        hostSleep(e, milliseconds);
        realTime = e.script.realTime;
    }
    if (realTime) sleepAtLeast(milliseconds);
}

}  // namespace

MidiResult midiBackendOutSend(const uint8_t* data, uint32_t length, uint32_t pauseMs) {
    MidiResult result = sendNow(data, length);
    if (pauseMs != 0) pace(pauseMs);
    return result;
}

void midiBackendOutClose() {
    SimLock guard;
    Emulation& e = emulation();
    if (!e.output.open) return;
    event(e, "out", e.output.index, "close");
    e.output.open = false;
}

namespace {

// On a wall clock: until a message arrives, or for one poll.
void awaitOnWallClock(Emulation& e, SimLock& guard) {
    auto pollEnd = std::chrono::steady_clock::now() + std::chrono::microseconds(e.script.wallPollUs);
    for (;;) {
        arrive(e);
        if (!e.arrived.empty()) return;
        auto until = pollEnd;
        uint64_t due = 0;
        if (nextDue(e, due)) until = std::min(until, e.wallStart + std::chrono::milliseconds(due));
        if (std::chrono::steady_clock::now() >= pollEnd) return;
        e.changed.wait_until(guard.held, until);
    }
}

}  // namespace

// On the host's clock a poll counts 1 ms, and what falls due meanwhile has
// arrived when it returns; in real time it also takes 1 ms of the
// platform's time when nothing came. On a wall clock it is the platform's
// own poll.
void midiBackendAwait() {
    SimLock guard;
    Emulation& e = loaded();
    if (e.script.wallClock) return awaitOnWallClock(e, guard);
    arrive(e);
    if (!e.arrived.empty()) return;
    hostSleep(e, 1);
    arrive(e);
    if (!e.arrived.empty() || !e.script.realTime) return;
    guard.held.unlock();
    sleepAtLeast(1);
    guard.held.lock();
}

uint32_t midiBackendTake(uint8_t* area, uint32_t room) {
    SimLock guard;
    return takeArrived(loaded(), area, room);
}

// The device hands on whole messages only: there is no unfinished one.
uint32_t midiBackendDiscard(uint8_t* area, uint32_t room) { return midiBackendTake(area, room); }
