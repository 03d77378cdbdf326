// A stand-in for the browser's Web MIDI, injected into the page before it
// loads: navigator.requestMIDIAccess gives ports as a script lists them,
// behind which the emulated device (stand_in.js, the tests' own device
// model) answers in the browser's time. What reaches the device's input,
// like Chromium's: one event per whole System Exclusive message, none for
// one cut by another status byte. It records every message the page sent,
// and the port events.
"use strict";
window.installStandIn = function (scriptText) {
  const t0 = performance.now();
  const record = window.standInRecord = {wire: [], times: [], events: [], errors: [], ready: false};
  const hex = bytes => Array.from(bytes, b => b.toString(16).toUpperCase().padStart(2, "0")).join("");
  const bytesOf = text => { const b = []; for (let i = 0; i + 1 < text.length; i += 2) b.push(parseInt(text.substr(i, 2), 16)); return new Uint8Array(b); };
  let device = null, setup = null, held = [], sent = 0;
  const channel = new MessageChannel(), queued = [];
  channel.port1.onmessage = () => queued.shift()();
  const soon = f => { queued.push(f); channel.port2.postMessage(0); };
  const ready = createStandIn().then(m => {
    if (!m.ccall("standInBegin", "number", ["string"], [scriptText])) throw new Error("the script does not read");
    device = m;
    setup = JSON.parse(m.ccall("standInPorts", "string", [], []));
    record.ready = true;
  });
  window.standInErrors = () => JSON.parse(device.ccall("standInErrors", "string", [], []));

  class Port {
    constructor(type, index, info) {
      Object.assign(this, {type, index, info, name: info.name, id: type + index, manufacturer: "",
                           state: "connected", connection: "closed", onmidimessage: null, sysex: null});
    }
    async open() {
      if (this.info.openResult) throw new DOMException("the port does not open", "InvalidAccessError");
      if (this.connection !== "open") record.events.push((this.type === "input" ? "in " : "out ") + this.index + " open");
      this.connection = "open";
      // What the device sent before the page listened comes a moment after the
      // port opens, as a USB device's does.
      if (this.type === "input" && this.info.device && setup.waitingMessage)
        setTimeout(() => this.receive(bytesOf(setup.waitingMessage)), 1);
      return this;
    }
    async close() {
      if (this.connection === "open") record.events.push((this.type === "input" ? "in " : "out ") + this.index + " close");
      this.connection = "closed";
      return this;
    }
    // The device's bytes as Chromium parses them for one input.
    receive(bytes) {
      if (this.type !== "input" || this.connection !== "open" || !this.info.device) return;
      const deliver = data => { if (this.onmidimessage) this.onmidimessage({data: new Uint8Array(data)}); };
      for (const b of bytes) {
        if (b >= 0xF8) { deliver([b]); continue; }
        if (this.sysex) {
          if (b < 0x80) { this.sysex.push(b); continue; }
          if (b === 0xF7) { this.sysex.push(b); deliver(this.sysex); this.sysex = null; continue; }
          this.sysex = null;  // cut by another status byte: dropped
        }
        if (b === 0xF0) this.sysex = [b];
      }
    }
    send(data) {
      if (this.connection !== "open") throw new DOMException("the port is closed", "InvalidStateError");
      ++sent;
      // The unit unplugged as this message goes out: as in Chromium, the
      // ports turn "disconnected", and this send and every later one drop
      // the data without a word.
      if (window.standInUnplugAtMessage && sent >= window.standInUnplugAtMessage) {
        if (!record.unplugged) {
          record.unplugged = true;
          record.events.push("send " + sent + ": the unit unplugged");
          for (const p of access.inputsList.concat(access.outputsList)) {
            if (!p.info.device) continue;
            p.state = "disconnected";
            access.dispatchEvent(Object.assign(new Event("statechange"), {port: p}));
          }
        }
        return;
      }
      if (setup.failSendAt && (sent === setup.failSendAt || (setup.failSendAfter && sent > setup.failSendAt))) {
        record.events.push("send " + sent + " failed");
        throw new DOMException("the port is gone", "InvalidStateError");
      }
      const message = Uint8Array.from(data);
      record.wire.push(hex(message));
      record.times.push(performance.now() - t0);
      const input = access.inputsList.find(p => p.info.device);
      // A reply held back for this moment arrives first.
      for (const m of held.splice(0)) if (input) input.receive(m);
      if (!this.info.device) return;
      const now = performance.now() - t0;
      const reply = JSON.parse(device.ccall("standInReceive", "string", ["string", "number"], [hex(message), now]));
      if (reply.message === null) return;
      const bytes = bytesOf(reply.message);
      for (let copy = 0; copy < reply.copies; ++copy) {
        if (reply.delay < 0) { held.push(bytes); continue; }
        const after = reply.delay + copy * reply.gap;
        // An answer due at once comes as the browser's next task, as a MIDI
        // event does (a timer of 0 ms may be clamped to 4 ms).
        if (after === 0) soon(() => { if (input) input.receive(bytes); });
        else setTimeout(() => { if (input) input.receive(bytes); }, after);
      }
    }
  }

  const access = Object.assign(new EventTarget(), {inputsList: [], outputsList: [], sysexEnabled: true});
  navigator.requestMIDIAccess = async function (options) {
    await ready;
    if (!options || !options.sysex) throw new DOMException("System Exclusive messages were not asked for", "NotAllowedError");
    access.inputsList = setup.inputs.map((info, i) => new Port("input", i, info));
    access.outputsList = setup.outputs.map((info, i) => new Port("output", i, info));
    access.inputs = new Map(access.inputsList.map(p => [p.id, p]));
    access.outputs = new Map(access.outputsList.map(p => [p.id, p]));
    return access;
  };
};
