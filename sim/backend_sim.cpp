// The emulated back end: MIDI ports with the emulated target behind them.
//
// Like a driver, it delivers the device's replies through the input
// callback on a thread of its own. Time is the host's own sleep time: a
// reply due "3 ms" after a message is delivered during the host's sleeps
// once they add up to 3 ms, and the host's sleep returns only after that
// delivery. So a run against the emulation is the same every time, however
// slow the machine, and a reply's timing relative to the host's polls is
// exactly what the script says.
//
// With a wall clock (for a host whose sleeps do not come through here, such
// as a program using the Windows test double) time is real time instead.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "midi/backend.h"
#include "midi/buffer_state.h"
#include "midi/waits.h"
#include "midi/sim_device.h"

namespace {

struct Delivery {
    enum Kind { Reply, Notice, ReturnBuffer };
    Kind kind;
    uint64_t due;       // host time; ignored while onNextSend
    bool onNextSend;
    SimBytes message;   // Reply
    uint32_t notice;    // Notice
};

struct InputPort {
    bool open = false;
    bool started = false;
    uint16_t index = 0;
    MidiInCallback callback = nullptr;
    std::vector<MidiBuffer*> queued;
};

struct OutputPort {
    bool open = false;
    uint16_t index = 0;
    uint32_t stillPlayingLeft = 0;
};

constexpr MidiPort IN_HANDLE = 0x1001;
constexpr MidiPort OUT_HANDLE = 0x2002;

std::mutex mutex;
std::condition_variable changed;
SimScript script;
SimDevice device;
SimLog log;
uint64_t hostTime = 0;
std::chrono::steady_clock::time_point wallStart;
std::vector<Delivery> pending;
bool delivering = false;
bool stopping = false;
std::thread worker;
InputPort input;
OutputPort output;
uint32_t messagesSent = 0;
uint32_t sleepsSinceSend = 0;

bool defaultScriptLoaded = false;

// How deep the current thread is inside the emulation (holding its lock).
thread_local int simDepth = 0;

// The emulation's lock; while it is held, the thread is inside the emulation.
struct SimLock {
    std::unique_lock<std::mutex> held;
    SimLock() : held(mutex) { ++simDepth; }
    ~SimLock() {
        if (held.owns_lock()) --simDepth;
    }
    SimLock(const SimLock&) = delete;
    SimLock& operator=(const SimLock&) = delete;
    void unlock() {
        --simDepth;
        held.unlock();
    }
    void lock() {
        held.lock();
        ++simDepth;
    }
};

// The demo's device: it answers the identify request and acknowledges every
// record a few milliseconds later, in real time.
void loadDefaultScript() {
    if (defaultScriptLoaded) return;
    defaultScriptLoaded = true;
    script = SimScript();
    script.realTime = true;
    script.modelDelayMs = 12;
    device = SimDevice();
    device.script = &script;
}

uint64_t wallTime() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - wallStart)
                                     .count());
}

// The emulation's time in milliseconds.
uint64_t currentTime() { return script.wallClock ? wallTime() : hostTime; }

bool isDue(const Delivery& d) { return !d.onNextSend && d.due <= currentTime(); }

// When the next delivery falls due, if any is waiting for a time.
bool nextDue(uint64_t& due) {
    bool any = false;
    for (const Delivery& d : pending) {
        if (!d.onNextSend && (!any || d.due < due)) {
            due = d.due;
            any = true;
        }
    }
    return any;
}

bool anyDue() { return std::any_of(pending.begin(), pending.end(), isDue); }

// Waits until every delivery that is due has been made.
void settle(SimLock& lock) {
    if (!delivering && !anyDue()) return;  // nothing to wake the thread for
    changed.notify_all();
    changed.wait(lock.held, [] { return !delivering && !anyDue(); });
}

void deliverLoop() {
    SimLock lock;
    for (;;) {
        if (stopping && !anyDue()) return;
        if (!anyDue()) {
            uint64_t due = 0;
            if (script.wallClock && nextDue(due))
                changed.wait_until(lock.held, wallStart + std::chrono::milliseconds(due));
            else
                changed.wait(lock.held);
            continue;
        }
        auto next = std::min_element(pending.begin(), pending.end(), [](const Delivery& a, const Delivery& b) {
            return isDue(a) && (!isDue(b) || a.due < b.due);
        });
        Delivery delivery = std::move(*next);
        pending.erase(next);

        MidiInCallback callback = input.callback;
        MidiBuffer* buffer = nullptr;
        uint32_t notice = delivery.notice;
        if (delivery.kind == Delivery::Notice) {
            // delivered whether or not input is started
        } else if (delivery.kind == Delivery::ReturnBuffer || (input.open && input.started &&
                                                                 script.inputs[input.index].device)) {
            if (!input.queued.empty()) {
                buffer = input.queued.front();
                input.queued.erase(input.queued.begin());
                completeBuffer(buffer, delivery.message.data(), static_cast<uint32_t>(delivery.message.size()));
                notice = MIDI_IN_LONGDATA;
            }
        }
        if (callback == nullptr || (delivery.kind != Delivery::Notice && buffer == nullptr)) {
            if (delivery.kind == Delivery::Reply) log.events.push_back("reply dropped");
            changed.notify_all();
            continue;
        }
        delivering = true;
        lock.unlock();
        callback(IN_HANDLE, notice, 0, reinterpret_cast<uintptr_t>(buffer), 0);
        lock.lock();
        delivering = false;
        changed.notify_all();
    }
}

void event(const char* direction, uint16_t index, const char* what) {
    log.events.push_back(std::string(direction) + " " + std::to_string(index) + " " + what);
}

// Adds a delivery; the delivering thread learns of it even when it is not
// due yet (on a wall clock it then waits for its time).
// On the host's clock, a delivery due now is made before this returns; on a
// wall clock a reply goes its own way, as from a driver.
// (The caller wakes the delivering thread once it has let go of the lock.)
void schedule(Delivery delivery, SimLock& lock) {
    bool async = script.wallClock && delivery.kind == Delivery::Reply;
    pending.push_back(std::move(delivery));
    if (!async) {
        changed.notify_all();
        settle(lock);
    }
}

MidiResult copyName(const std::vector<SimPort>& ports, uint16_t index, char* name) {
    name[0] = 0;
    if (index >= ports.size()) return MIDI_BAD_PORT;
    std::strncpy(name, ports[index].name.c_str(), MIDI_PORT_NAME_CHARS - 1);
    name[MIDI_PORT_NAME_CHARS - 1] = 0;
    return MIDI_OK;
}

}  // namespace

void simBegin(const SimScript& newScript) {
    SimLock guard;
    defaultScriptLoaded = true;
    script = newScript;
    device = SimDevice();
    device.script = &script;
    log = SimLog();
    hostTime = 0;
    wallStart = std::chrono::steady_clock::now();
    pending.clear();
    input = InputPort();
    output = OutputPort();
    messagesSent = 0;
    sleepsSinceSend = 0;
}

bool simBusyOnThisThread() { return simDepth > 0; }

void simNote(const std::string& problem) {
    SimLock guard;
    log.deviceErrors.push_back(problem);
}

SimLog simLog() {
    SimLock guard;
    return log;
}

uint16_t midiBackendInCount() {
    SimLock guard;
    loadDefaultScript();
    return static_cast<uint16_t>(script.inputs.size());
}

uint16_t midiBackendOutCount() {
    SimLock guard;
    loadDefaultScript();
    return static_cast<uint16_t>(script.outputs.size());
}

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    SimLock guard;
    loadDefaultScript();
    return copyName(script.inputs, index, name);
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    SimLock guard;
    loadDefaultScript();
    return copyName(script.outputs, index, name);
}

MidiResult midiBackendInOpen(MidiPort& port, uint16_t index, MidiInCallback callback) {
    SimLock lock;
    loadDefaultScript();
    if (index >= script.inputs.size()) return MIDI_BAD_PORT;
    if (input.open) return MIDI_ERROR;  // the emulation has one input at a time
    if (script.inputs[index].openResult != MIDI_OK) return script.inputs[index].openResult;
    input = InputPort();
    input.open = true;
    input.index = index;
    input.callback = callback;
    port = IN_HANDLE;
    event("in", index, "open");
    stopping = false;
    worker = std::thread(deliverLoop);
    schedule({Delivery::Notice, currentTime(), false, {}, MIDI_IN_OPEN}, lock);
    return MIDI_OK;
}

MidiResult midiBackendInPrepare(MidiPort, MidiBuffer* buffer) {
    SimLock guard;
    buffer->flags |= MIDI_BUFFER_PREPARED;
    return MIDI_OK;
}

MidiResult midiBackendInUnprepare(MidiPort, MidiBuffer* buffer) {
    SimLock guard;
    return unprepareBuffer(buffer);
}

MidiResult midiBackendInAddBuffer(MidiPort, MidiBuffer* buffer) {
    SimLock guard;
    if (!input.open) return MIDI_ERROR;
    MidiResult result = markBufferQueued(buffer);
    if (result == MIDI_OK) input.queued.push_back(buffer);
    return result;
}

MidiResult midiBackendInStart(MidiPort) {
    SimLock guard;
    if (!input.open) return MIDI_ERROR;
    event("in", input.index, "start");
    if (script.inputs[input.index].startResult != MIDI_OK) return script.inputs[input.index].startResult;
    input.started = true;
    return MIDI_OK;
}

// Once stopped, no reply reaches the callback until the port is started
// again, and one being delivered has finished.
MidiResult midiBackendInStop(MidiPort) {
    SimLock lock;
    if (!input.open) return MIDI_ERROR;
    input.started = false;
    changed.wait(lock.held, [] { return !delivering; });
    return MIDI_OK;
}

MidiResult midiBackendInReset(MidiPort) {
    SimLock lock;
    if (!input.open) return MIDI_ERROR;
    input.started = false;
    for (size_t i = 0; i < input.queued.size(); ++i)
        pending.push_back({Delivery::ReturnBuffer, currentTime(), false, {}, 0});
    settle(lock);
    return MIDI_OK;
}

MidiResult midiBackendInClose(MidiPort) {
    SimLock lock;
    if (!input.open) return MIDI_ERROR;
    if (!input.queued.empty()) return MIDI_STILL_PLAYING;
    schedule({Delivery::Notice, currentTime(), false, {}, MIDI_IN_CLOSE}, lock);
    event("in", input.index, "close");
    input.open = false;
    input.callback = nullptr;
    stopping = true;
    pending.clear();
    changed.notify_all();
    lock.unlock();
    worker.join();
    return MIDI_OK;
}

MidiResult midiBackendOutOpen(MidiPort& port, uint16_t index) {
    SimLock guard;
    loadDefaultScript();
    if (index >= script.outputs.size()) return MIDI_BAD_PORT;
    if (output.open) return MIDI_ERROR;  // one output at a time
    if (script.outputs[index].openResult != MIDI_OK) return script.outputs[index].openResult;
    output = OutputPort();
    output.open = true;
    output.index = index;
    port = OUT_HANDLE;
    event("out", index, "open");
    return MIDI_OK;
}

MidiResult midiBackendOutPrepare(MidiPort, MidiBuffer* buffer) {
    SimLock guard;
    if (!output.open) return MIDI_ERROR;
    buffer->flags |= MIDI_BUFFER_PREPARED;
    return MIDI_OK;
}

MidiResult midiBackendOutLongMsg(MidiPort, MidiBuffer* buffer) {
    SimLock lock;
    if (!output.open) return MIDI_ERROR;
    if (!(buffer->flags & MIDI_BUFFER_PREPARED)) return MIDI_UNPREPARED;
    ++messagesSent;
    if (script.failSendAt != 0 &&
        (messagesSent == script.failSendAt || (script.failSendAfter && messagesSent > script.failSendAt))) {
        log.events.push_back("send " + std::to_string(messagesSent) + " failed");
        return MIDI_ERROR;
    }
    SimBytes message(buffer->data, buffer->data + buffer->length);
    log.sent.push_back(message);
    log.sleepsBefore.push_back(sleepsSinceSend);
    sleepsSinceSend = 0;

    // A reply held back for this moment arrives first.
    bool held = false;
    for (Delivery& d : pending) {
        if (d.onNextSend) {
            d.onNextSend = false;
            d.due = currentTime();
            held = true;
        }
    }
    if (held) settle(lock);

    if (script.outputs[output.index].device) {
        uint64_t now = currentTime();
        SimReply reply = simDeviceReceive(device, message, now, log);
        if (reply.kind == SimReply::Message) {
            bool onNext = reply.delayMs == SIM_ON_NEXT_SEND;
            for (uint32_t copy = 0; copy < reply.copies; ++copy)
                schedule({Delivery::Reply, onNext ? 0 : now + reply.delayMs + copy, onNext, reply.message, 0}, lock);
        }
    }
    buffer->flags |= MIDI_BUFFER_QUEUED;
    output.stillPlayingLeft = script.stillPlaying;
    lock.unlock();
    changed.notify_all();
    return MIDI_OK;
}

MidiResult midiBackendOutUnprepare(MidiPort, MidiBuffer* buffer) {
    SimLock guard;
    if ((buffer->flags & MIDI_BUFFER_QUEUED) && output.stillPlayingLeft > 0) {
        --output.stillPlayingLeft;
        return MIDI_STILL_PLAYING;
    }
    buffer->flags &= ~(MIDI_BUFFER_QUEUED | MIDI_BUFFER_PREPARED);
    buffer->flags |= MIDI_BUFFER_DONE;
    return MIDI_OK;
}

MidiResult midiBackendOutReset(MidiPort) {
    SimLock guard;
    if (!output.open) return MIDI_ERROR;
    output.stillPlayingLeft = 0;
    log.events.push_back("out " + std::to_string(output.index) + " reset");
    return MIDI_OK;
}

MidiResult midiBackendOutClose(MidiPort) {
    SimLock guard;
    if (!output.open) return MIDI_ERROR;
    event("out", output.index, "close");
    output.open = false;
    return MIDI_OK;
}

void midiBackendSleep(uint32_t milliseconds) {
    bool realTime;
    {
        SimLock lock;
        loadDefaultScript();
        realTime = script.realTime;
        ++log.sleeps;
        ++sleepsSinceSend;
        log.sleptMs += milliseconds;
        hostTime += milliseconds;
        // On a wall clock replies arrive on their own time, as from a driver.
        if (!script.wallClock) settle(lock);
    }
    if (realTime) pacingSleep(milliseconds);
}

// On the host's clock a poll is one host millisecond, so tests count polls;
// on a wall clock it is the platform's own poll.
void midiBackendPollPause(const std::atomic<uint32_t>& published, uint32_t seen) {
    uint32_t wallPollUs = 0;
    {
        SimLock lock;
        loadDefaultScript();
        if (script.wallClock) wallPollUs = script.wallPollUs;
    }
    if (wallPollUs == 0) {
        midiBackendSleep(1);
        return;
    }
    waitForMessage(published, seen, wallPollUs);
}
