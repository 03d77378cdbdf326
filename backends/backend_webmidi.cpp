// The browser's back end: Web MIDI, for the page (app/web/). The page asks
// for MIDI access with System Exclusive messages before the run and hands
// it over as Module.midiAccess; the ports are the browser's, in its order,
// but for the operating systems' own software ports (webmidi_ports.h).
//
// The browser joins a System Exclusive message's pieces itself and hands
// on one event from 0xF0 to 0xF7 (one cut by another status byte it
// drops), so each such event is a whole message; they are kept, in order,
// until the link takes or discards them. Waits give the browser's event loop its
// turn (the program is built with Asyncify): a poll ends when a message
// has arrived or after 15.625 ms; the pause after a send is the
// platform's sleep (core/platform_web.cpp). A send hands one whole message to the browser, which
// sends it on; once a port of the unit is disconnected every send fails.
#include <emscripten.h>

#include <string>
#include <vector>

#include "backends/backend.h"
#include "backends/webmidi_ports.h"
#include "core/platform.h"
#include "core/run_log.h"

EM_JS(int, webPortCount, (int outputs), {
    const access = Module.midiAccess;
    if (!access) return 0;
    Module.webMidi = Module.webMidi || {arrived: []};
    const ports = Array.from((outputs ? access.outputs : access.inputs).values());
    Module.webMidi[outputs ? "outputs" : "inputs"] = ports;
    return ports.length;
});

EM_JS(void, webPortName, (int outputs, int index, char* name, int room), {
    const port = Module.webMidi[outputs ? "outputs" : "inputs"][index];
    stringToUTF8(port && port.name ? port.name : "", name, room);
});

// The input's handler is set before the open, so that what the device sent
// just before arrives as the port opens, as from a driver. A port of the
// unit that turns "disconnected" (the unit unplugged or switched off) is
// noted at once: from then on every send fails, as the browser's own send
// would not say (it drops the data). A send that throws fails alone, as a
// refused send does on the other systems.
EM_ASYNC_JS(int, webPortOpen, (int outputs, int index), {
    const w = Module.webMidi;
    const port = w[outputs ? "outputs" : "inputs"][index];
    if (!outputs) {
        w.arrived = [];
        w.gone = null;
        port.onmidimessage = event => {
            if (event.data.length === 0 || event.data[0] !== 0xF0) return;
            w.arrived.push(new Uint8Array(event.data));
            if (w.wake) w.wake();
        };
    }
    w.watch = w.watch || (() => {
        for (const kind of ["input", "output"]) {
            const p = w[kind];
            if (p && p.state === "disconnected" && !w.gone) w.gone = {kind, name: p.name, at: performance.now()};
        }
    });
    const access = Module.midiAccess;
    if (access && w.watched !== access) {
        w.watched = access;
        if (access.addEventListener) access.addEventListener("statechange", () => w.watch());
        else access.onstatechange = () => w.watch();
    }
    try {
        await port.open();
    } catch (e) {
        if (!outputs) port.onmidimessage = null;
        return 1;
    }
    w[outputs ? "output" : "input"] = port;
    return 0;
});

EM_ASYNC_JS(void, webPortClose, (int outputs), {
    const w = Module.webMidi;
    const which = outputs ? "output" : "input";
    if (!w || !w[which]) return;
    const port = w[which];
    w[which] = null;
    if (!outputs) {
        w.arrived = [];
        port.onmidimessage = null;
    }
    try {
        await port.close();
    } catch (e) {
    }
});

// The oldest message not yet taken; past the link's bound the oldest go.
EM_JS(int, webTakeOldest, (unsigned char* area, int room, int keep), {
    const w = Module.webMidi;
    if (!w || w.arrived.length === 0) return 0;
    if (w.arrived.length > keep) w.arrived.splice(0, w.arrived.length - keep);
    const oldest = w.arrived.shift();
    const kept = Math.min(oldest.length, room);
    HEAPU8.set(oldest.subarray(0, kept), area);
    return kept;
});

EM_ASYNC_JS(void, webAwaitMessage, (double milliseconds), {
    const w = Module.webMidi;
    if (!w || w.arrived.length > 0) return;
    await new Promise(resolve => {
        const timer = setTimeout(resolve, milliseconds);
        w.wake = () => {
            clearTimeout(timer);
            resolve();
        };
    });
    w.wake = null;
});

EM_JS(int, webOutSend, (const unsigned char* message, int length), {
    const w = Module.webMidi;
    w.watch();
    if (w.gone) return 1;
    try {
        w.output.send(HEAPU8.slice(message, message + length));
        return 0;
    } catch (e) {
        w.thrown = String(e);
        return 1;
    }
});

// Why sends fail, for the run's account: 1 when a port of the unit went
// away (which, and when), 2 when the browser's send threw (what it said),
// 0 when neither; `text` then holds a sentence.
EM_JS(int, webSendTrouble, (char* text, int room), {
    const w = Module.webMidi;
    if (w && w.gone) {
        stringToUTF8("the " + w.gone.kind + " port \"" + w.gone.name + "\" turned disconnected " +
                     Math.round(performance.now() - w.gone.at) + " ms ago: every send fails from then on", text, room);
        return 1;
    }
    if (w && w.thrown) {
        stringToUTF8("the browser refused the send: " + w.thrown, text, room);
        w.thrown = null;
        return 2;
    }
    return 0;
});

namespace {

// What one poll of a reply wait lasts at most: a Windows poll.
constexpr double POLL_MS = MIDI_POLL_US / 1000.0;

struct Port {
    int browserIndex;
    std::string name;
};

std::vector<Port> inputs, outputs;
bool inputOpen = false, outputOpen = false;
bool goneTold = false;  // the account has said which port went away

void listDirection(int output, std::vector<Port>& ports) {
    ports.clear();
    for (int i = 0, n = webPortCount(output); i < n; ++i) {
        char name[256];
        webPortName(output, i, name, sizeof name);
        if (isSystemSoftwarePortName(name)) continue;
        ports.push_back({i, name});
    }
}

}  // namespace

void midiBackendListPorts() {
    listDirection(0, inputs);
    listDirection(1, outputs);
}

uint16_t midiBackendInCount() { return static_cast<uint16_t>(inputs.size()); }
uint16_t midiBackendOutCount() { return static_cast<uint16_t>(outputs.size()); }

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) { return portNameAt(inputs, index, name); }
MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    return portNameAt(outputs, index, name);
}

MidiResult midiBackendInOpen(uint16_t index) {
    if (index >= inputs.size()) return MIDI_BAD_PORT;
    if (inputOpen) return MIDI_ERROR;
    if (webPortOpen(0, inputs[index].browserIndex) != 0) return MIDI_ERROR;
    inputOpen = true;
    return MIDI_OK;
}

// The browser delivers from the open on.
MidiResult midiBackendInStart() { return inputOpen ? MIDI_OK : MIDI_ERROR; }

void midiBackendInClose() {
    webPortClose(0);
    inputOpen = false;
}

void midiBackendAwait() { webAwaitMessage(POLL_MS); }

uint32_t midiBackendTake(uint8_t* area, uint32_t room) {
    return static_cast<uint32_t>(webTakeOldest(area, static_cast<int>(room), static_cast<int>(MIDI_KEPT_MESSAGES)));
}

// The browser hands on whole messages only: there is no unfinished one.
uint32_t midiBackendDiscard(uint8_t* area, uint32_t room) { return midiBackendTake(area, room); }

MidiResult midiBackendOutOpen(uint16_t index) {
    if (index >= outputs.size()) return MIDI_BAD_PORT;
    if (outputOpen) return MIDI_ERROR;
    if (webPortOpen(1, outputs[index].browserIndex) != 0) return MIDI_ERROR;
    outputOpen = true;
    goneTold = false;
    return MIDI_OK;
}

namespace {

MidiResult sendNow(const uint8_t* message, uint32_t length) {
    if (!outputOpen) return MIDI_ERROR;
    if (webOutSend(message, static_cast<int>(length)) == 0) return MIDI_OK;
    char why[200];
    int trouble = webSendTrouble(why, sizeof why);
    if (trouble == 2 || (trouble == 1 && !goneTold)) runLogLine("%s", why);
    if (trouble == 1) goneTold = true;
    return MIDI_ERROR;
}

}  // namespace

MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length, uint32_t pauseMs) {
    MidiResult result = sendNow(message, length);
    if (pauseMs != 0) sleepAtLeast(pauseMs);
    return result;
}

void midiBackendOutClose() {
    webPortClose(1);
    outputOpen = false;
}

