// The emulated device for the page's tests, as a WebAssembly module of its
// own: the Web MIDI stand-in (stand_in.js) hands it each message the page
// sends and schedules the answers it gives, in the browser's time. The same
// device model and scripts as the runs in the tests' own process.
#include <emscripten.h>

#include <string>

#include "sim/device.h"
#include "tests/sim_script.h"

namespace {

TestScript script;
SimDevice device;
DeviceLog deviceLog;
std::string answer;  // the latest text handed out

std::string portsJson(const std::vector<SimPort>& ports) {
    std::string json = "[";
    for (size_t i = 0; i < ports.size(); ++i) {
        if (i > 0) json += ",";
        json += "{\"name\":" + jsonQuoted(ports[i].name) + ",\"device\":" + (ports[i].device ? "true" : "false") +
                ",\"openResult\":" + std::to_string(ports[i].openResult) + "}";
    }
    return json + "]";
}

}  // namespace

extern "C" {

// Starts a fresh device with the script (its text, as the tests write it).
EMSCRIPTEN_KEEPALIVE int standInBegin(const char* text) {
    if (!parseSimScript(text, script)) return 0;
    device = SimDevice();
    device.script = &script;
    deviceLog = DeviceLog();
    return 1;
}

// The ports and the sending faults of the script.
EMSCRIPTEN_KEEPALIVE const char* standInPorts() {
    answer = "{\"inputs\":" + portsJson(script.inputs) + ",\"outputs\":" + portsJson(script.outputs) +
             ",\"waitingMessage\":" + jsonQuoted(hexText(script.waitingMessage)) +
             ",\"failSendAt\":" + std::to_string(script.failSendAt) +
             ",\"failSendAfter\":" + (script.failSendAfter ? "true" : "false") + "}";
    return answer.c_str();
}

// The device's answer to one message (hex) at `now` milliseconds: its
// kind, the message, when (-1: as the next message is sent), how many
// copies how far apart.
EMSCRIPTEN_KEEPALIVE const char* standInReceive(const char* hex, double now) {
    SimBytes message;
    parseHex(hex, message);
    SimReply reply = simDeviceReceive(device, message, static_cast<uint64_t>(now), deviceLog);
    bool message_ = reply.kind == SimReply::Message;
    answer = std::string("{\"message\":") + (message_ ? jsonQuoted(hexText(reply.message)) : "null") +
             ",\"delay\":" + (reply.delayMs == SIM_ON_NEXT_SEND ? "-1" : std::to_string(reply.delayMs)) +
             ",\"copies\":" + std::to_string(reply.copies) + ",\"gap\":" + std::to_string(reply.copyGapMs) + "}";
    return answer.c_str();
}

// What the device could not make sense of, as a JSON array.
EMSCRIPTEN_KEEPALIVE const char* standInErrors() {
    answer = "[";
    for (size_t i = 0; i < deviceLog.deviceErrors.size(); ++i) answer += (i ? "," : "") + jsonQuoted(deviceLog.deviceErrors[i]);
    answer += "]";
    return answer.c_str();
}

}  // extern "C"
