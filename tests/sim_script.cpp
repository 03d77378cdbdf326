#include "tests/sim_script.h"

#include <cstdio>
#include <sstream>

std::string hexText(const SimBytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool parseHex(const std::string& text, SimBytes& bytes) {
    bytes.clear();
    if (text == "-") return true;
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(text.c_str() + i, "%2x", &value) != 1) return false;
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return true;
}

std::string jsonQuoted(const std::string& text) {
    std::string q = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            q += escape;
        } else {
            q += static_cast<char>(c);
        }
    }
    return q + "\"";
}

namespace {

std::string hexBytes(const SimBytes& bytes) { return bytes.empty() ? "-" : hexText(bytes); }

std::string replyText(const SimReply& r) {
    return std::to_string(static_cast<int>(r.kind)) + " " + std::to_string(r.delayMs) + " " +
           std::to_string(r.copies) + " " + std::to_string(r.copyGapMs) + " " + hexBytes(r.message);
}

bool parseReply(std::istringstream& in, SimReply& r) {
    int kind = 0;
    std::string hex;
    if (!(in >> kind >> r.delayMs >> r.copies >> r.copyGapMs >> hex) || kind < SimReply::Model || kind > SimReply::Message)
        return false;
    r.kind = static_cast<SimReply::Kind>(kind);
    return parseHex(hex, r.message);
}

// A port, with what the double's habits say of it by its name.
std::string portText(const char* key, const SimPort& p, const WinmmHabits& h) {
    auto interfaceName = h.interfaceOf.find(p.name);
    auto buffersResult = h.buffersResultOf.find(p.name);
    return std::string(key) + " " + (p.device ? "1" : "0") + " " + std::to_string(p.openResult) + " " +
           std::to_string(p.startResult) + " " +
           std::to_string(buffersResult == h.buffersResultOf.end() ? MIDI_OK : buffersResult->second) + " " +
           (interfaceName == h.interfaceOf.end() ? "-" : interfaceName->second) + " " + p.name + "\n";
}

bool parsePort(std::istringstream& in, SimPort& p, WinmmHabits& h) {
    int device = 0;
    MidiResult buffersResult = MIDI_OK;
    std::string interfaceName;
    if (!(in >> device >> p.openResult >> p.startResult >> buffersResult >> interfaceName)) return false;
    p.device = device != 0;
    std::getline(in >> std::ws, p.name);
    if (interfaceName != "-") h.interfaceOf[p.name] = interfaceName;
    if (buffersResult != MIDI_OK) h.buffersResultOf[p.name] = buffersResult;
    return true;
}

}  // namespace

std::string simScriptText(const TestScript& s) {
    std::string text;
    for (const SimPort& p : s.inputs) text += portText("input", p, s.winmm);
    for (const SimPort& p : s.outputs) text += portText("output", p, s.winmm);
    text += "deviceId " + std::to_string(s.deviceId) + "\n";
    for (const SimReply& r : s.identifyReplies) text += "identify " + replyText(r) + "\n";
    text += "identifyOtherwise " + replyText(s.identifyOtherwise) + "\n";
    for (const SimReply& r : s.recordReplies) text += "record " + replyText(r) + "\n";
    text += "recordOtherwise " + replyText(s.recordOtherwise) + "\n";
    text += "waitingMessage " + hexBytes(s.waitingMessage) + "\n";
    text += "modelDelayMs " + std::to_string(s.modelDelayMs) + "\n";
    text += "partialTimeoutMs " + std::to_string(s.partialTimeoutMs) + "\n";
    text += "failSendAt " + std::to_string(s.failSendAt) + "\n";
    text += "failSendAfter " + std::to_string(s.failSendAfter ? 1 : 0) + "\n";
    text += "driverHolds " + std::to_string(s.winmm.driverHolds) + "\n";
    text += "servicePath " + std::to_string(s.winmm.servicePath ? 1 : 0) + "\n";
    text += "emptyInterfaces " + std::to_string(s.winmm.emptyInterfaces ? 1 : 0) + "\n";
    text += "stallSendAt " + std::to_string(s.winmm.stallSendAt) + "\n";
    text += "realTime " + std::to_string(s.realTime ? 1 : 0) + "\n";
    text += "wallClock " + std::to_string(s.wallClock ? 1 : 0) + "\n";
    return text;
}

bool parseSimScript(const std::string& text, TestScript& s) {
    s = TestScript();
    s.inputs.clear();
    s.outputs.clear();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string key;
        if (!(in >> key)) continue;
        bool ok = true;
        unsigned number = 0;
        if (key == "input" || key == "output") {
            SimPort port;
            ok = parsePort(in, port, s.winmm);
            (key == "input" ? s.inputs : s.outputs).push_back(port);
        } else if (key == "identify" || key == "record") {
            SimReply reply;
            ok = parseReply(in, reply);
            (key == "identify" ? s.identifyReplies : s.recordReplies).push_back(reply);
        } else if (key == "identifyOtherwise") {
            ok = parseReply(in, s.identifyOtherwise);
        } else if (key == "recordOtherwise") {
            ok = parseReply(in, s.recordOtherwise);
        } else if (key == "waitingMessage") {
            std::string hex;
            ok = (in >> hex) && parseHex(hex, s.waitingMessage);
        } else if (in >> number) {
            if (key == "deviceId") s.deviceId = static_cast<uint8_t>(number);
            else if (key == "modelDelayMs") s.modelDelayMs = number;
            else if (key == "partialTimeoutMs") s.partialTimeoutMs = number;
            else if (key == "failSendAt") s.failSendAt = number;
            else if (key == "failSendAfter") s.failSendAfter = number != 0;
            else if (key == "driverHolds") s.winmm.driverHolds = number;
            else if (key == "servicePath") s.winmm.servicePath = number != 0;
            else if (key == "emptyInterfaces") s.winmm.emptyInterfaces = number != 0;
            else if (key == "stallSendAt") s.winmm.stallSendAt = number;
            else if (key == "realTime") s.realTime = number != 0;
            else if (key == "wallClock") s.wallClock = number != 0;
            else ok = false;
        } else {
            ok = false;
        }
        if (!ok) return false;
    }
    return true;
}

std::string simLogText(const SimLog& log) {
    std::string text;
    for (const SimBytes& m : log.sent) text += "sent " + hexBytes(m) + "\n";
    for (const std::string& e : log.events) text += "event " + e + "\n";
    for (const std::string& e : log.deviceErrors) text += "deviceError " + e + "\n";
    return text;
}

bool parseSimLog(const std::string& text, SimLog& log) {
    log = SimLog();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t space = line.find(' ');
        std::string key = line.substr(0, space);
        std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "sent") {
            SimBytes m;
            if (!parseHex(rest, m)) return false;
            log.sent.push_back(m);
        } else if (key == "event") {
            log.events.push_back(rest);
        } else if (key == "deviceError") {
            log.deviceErrors.push_back(rest);
        } else if (!key.empty()) {
            return false;
        }
    }
    return true;
}
