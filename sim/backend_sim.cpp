// The sim back end: the emulated device behind MIDI ports (see emulation.h).
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "backends/backend.h"
#include "backends/waits.h"
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
    uint8_t* area = nullptr;
    uint32_t room = 0;
    MidiReceiver receiver = nullptr;
    void* context = nullptr;
};

struct OutputPort {
    bool open = false;
    uint16_t index = 0;
};

// The whole emulation: ports, device, clock and the delivering thread.
struct Emulation {
    std::mutex mutex;
    std::condition_variable changed;
    bool scriptLoaded = false;
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
    uint64_t delivered = 0;      // messages told to the receiver
    uint64_t deliveredSeen = 0;  // ... as the latest poll pause ended
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

uint64_t currentTime(const Emulation& e) {
    if (!e.script.wallClock) return e.hostTime;
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - e.wallStart).count());
}

bool anyDue(const Emulation& e) {
    uint64_t now = currentTime(e);
    return std::any_of(e.pending.begin(), e.pending.end(), [now](const Delivery& d) { return !d.onNextSend && d.due <= now; });
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

// Waits until every delivery that is due has been made.
void settle(Emulation& e, SimLock& lock) {
    if (!e.delivering && !anyDue(e)) return;  // nothing to wake the thread for
    e.changed.notify_all();
    e.changed.wait(lock.held, [&e] { return !e.delivering && !anyDue(e); });
}

void deliverLoop() {
    Emulation& e = emulation();
    SimLock lock;
    for (;;) {
        if (e.stopping) return;
        uint64_t due = 0;
        if (!anyDue(e)) {
            if (e.script.wallClock && nextDue(e, due))
                e.changed.wait_until(lock.held, e.wallStart + std::chrono::milliseconds(due));
            else
                e.changed.wait(lock.held);
            continue;
        }
        uint64_t now = currentTime(e);
        auto next = std::min_element(e.pending.begin(), e.pending.end(), [now](const Delivery& a, const Delivery& b) {
            bool aDue = !a.onNextSend && a.due <= now, bDue = !b.onNextSend && b.due <= now;
            return aDue && (!bDue || a.due < b.due);
        });
        Delivery delivery = std::move(*next);
        e.pending.erase(next);

        const InputPort& in = e.input;
        if (!in.open || !in.started || !e.script.inputs[in.index].device) {
            e.log.events.push_back("reply dropped");
            e.changed.notify_all();
            continue;
        }
        uint32_t bytes = std::min(static_cast<uint32_t>(delivery.message.size()), in.room);
        if (bytes > 0) std::memcpy(in.area, delivery.message.data(), bytes);
        e.delivering = true;
        lock.unlock();
        in.receiver(in.context, bytes);
        lock.lock();
        e.delivering = false;
        ++e.delivered;
        e.changed.notify_all();
    }
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
    e.input = InputPort();
    e.output = OutputPort();
    e.messagesSent = 0;
    e.sleepsSinceSend = 0;
    e.delivered = e.deliveredSeen = 0;
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
void midiBackendListPorts() {}

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

MidiResult midiBackendInOpen(uint16_t index, uint8_t* area, uint32_t room, MidiReceiver receiver, void* context) {
    SimLock guard;
    Emulation& e = loaded();
    if (index >= e.script.inputs.size()) return MIDI_BAD_PORT;
    if (e.input.open) return MIDI_ERROR;  // the emulation has one input at a time
    if (e.script.inputs[index].openResult != MIDI_OK) return e.script.inputs[index].openResult;
    e.input = {true, false, index, area, room, receiver, context};
    event(e, "in", index, "open");
    e.stopping = false;
    e.worker = std::thread(deliverLoop);
    return MIDI_OK;
}

MidiResult midiBackendInStart() {
    SimLock guard;
    Emulation& e = emulation();
    if (!e.input.open) return MIDI_ERROR;
    event(e, "in", e.input.index, "start");
    if (e.script.inputs[e.input.index].startResult != MIDI_OK) return e.script.inputs[e.input.index].startResult;
    e.input.started = true;
    if (!e.script.waitingMessage.empty() && e.script.inputs[e.input.index].device) {
        e.pending.push_back({currentTime(e), false, e.script.waitingMessage});
        settle(e, guard);
    }
    return MIDI_OK;
}

// Once closed, no reply reaches the receiver, and one being delivered has
// finished.
void midiBackendInClose() {
    std::function<void()> beforeClose;
    {
        SimLock guard;
        if (emulation().input.open) beforeClose = emulation().script.onInputClose;
    }
    if (beforeClose) beforeClose();
    SimLock lock;
    Emulation& e = emulation();
    if (!e.input.open) return;
    event(e, "in", e.input.index, "close");
    e.input.open = false;
    e.stopping = true;
    e.pending.clear();
    e.changed.notify_all();
    lock.unlock();
    e.worker.join();
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

MidiResult midiBackendOutSend(const uint8_t* data, uint32_t length) {
    SimLock lock;
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

    // A reply held back for this moment arrives first.
    bool held = false;
    for (Delivery& d : e.pending) {
        if (d.onNextSend) {
            d.onNextSend = false;
            d.due = currentTime(e);
            held = true;
        }
    }
    if (held) settle(e, lock);

    bool scheduled = false;
    if (e.script.outputs[e.output.index].device) {
        uint64_t now = currentTime(e);
        SimReply reply = simDeviceReceive(e.device, message, now, e.log);
        scheduled = reply.kind == SimReply::Message;
        if (scheduled) {
            bool onNext = reply.delayMs == SIM_ON_NEXT_SEND;
            for (uint32_t copy = 0; copy < reply.copies; ++copy)
                e.pending.push_back({onNext ? 0 : now + reply.delayMs + copy * reply.copyGapMs, onNext, reply.message});
            // On the host's clock a reply due now is made before this returns;
            // on a wall clock it goes its own way, as from a driver, and the
            // delivering thread is woken once the lock is let go.
            if (!e.script.wallClock) {
                e.changed.notify_all();
                settle(e, lock);
            }
        }
    }
    lock.unlock();
    if (scheduled) e.changed.notify_all();
    return MIDI_OK;
}

void midiBackendOutClose() {
    SimLock guard;
    Emulation& e = emulation();
    if (!e.output.open) return;
    event(e, "out", e.output.index, "close");
    e.output.open = false;
}

// A host sleep or poll of `milliseconds`: on the host's clock, the replies
// that fall due meanwhile are delivered before it returns. True if sleeps
// also take real time.
static bool hostSleep(uint32_t milliseconds) {
    SimLock lock;
    Emulation& e = loaded();
    ++e.log.sleeps;
    ++e.sleepsSinceSend;
    e.log.sleptMs += milliseconds;
    e.hostTime += milliseconds;
    if (!e.script.wallClock) settle(e, lock);
    return e.script.realTime;
}

// Until a message is delivered that no poll pause has waited for yet, or
// for `microseconds`.
static void waitForDelivery(uint32_t microseconds) {
    SimLock lock;
    Emulation& e = emulation();
    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    e.changed.wait_until(lock.held, until, [&e] { return e.delivered != e.deliveredSeen; });
    e.deliveredSeen = e.delivered;
}

// In real time a sleep is the platform's pacing sleep.
void midiBackendSleep(uint32_t milliseconds) {
    if (hostSleep(milliseconds)) pacingSleep(milliseconds);
}

void midiBackendPollPause() {
    uint32_t wallPollUs = 0;
    {
        SimLock lock;
        Emulation& e = loaded();
        if (e.script.wallClock) wallPollUs = e.script.wallPollUs;
    }
    if (wallPollUs != 0) {
        waitForDelivery(wallPollUs);
    } else if (hostSleep(1)) {
        waitForDelivery(1000);
    }
}

// The emulation's thread tells the receiver of each message as it arrives.
void midiBackendReceivePending() {}
