#include "sim/device.h"

#include <algorithm>

SimReply simModel(uint32_t delayMs) { return {SimReply::Model, {}, delayMs}; }
SimReply simSilence() { return {SimReply::Silence, {}, 0}; }
SimReply simCode(uint8_t code, uint32_t delayMs) { return {SimReply::Message, {0xF0, code, 0xF7}, delayMs}; }
SimReply simMessage(SimBytes message, uint32_t delayMs) {
    return {SimReply::Message, std::move(message), delayMs};
}

namespace {

// The protocol as the device knows it, stated here rather than taken from
// the host's code that it checks.
const uint8_t SIGNATURE[] = {0x35, 0x0E, 0x62, 0x19, 0x1C};  // and the identify command
constexpr uint8_t ACK = 0x1A;
constexpr uint8_t CRC_ERROR = 0x20;
constexpr size_t MAX_CHUNK_CHARS = 46;  // the payload of one System Exclusive message

int hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // the host sends upper-case digits only
}

// A scripted reply, or the model's own answer `code` in place of Model.
SimReply pick(const std::vector<SimReply>& replies, size_t& index, const SimReply& otherwise,
              uint8_t code, uint32_t modelDelay) {
    SimReply reply = index < replies.size() ? replies[index] : otherwise;
    ++index;
    if (reply.kind == SimReply::Model) return simCode(code, reply.delayMs ? reply.delayMs : modelDelay);
    return reply;
}

SimReply refuse(SimDevice& device, DeviceLog& log, const std::string& why) {
    device.assembling.clear();
    log.deviceErrors.push_back(why);
    return simSilence();
}

}  // namespace

SimReply simDeviceReceive(SimDevice& device, const SimBytes& message, uint64_t now, DeviceLog& log) {
    const DeviceScript& script = *device.script;
    if (message.size() < 2 || message.front() != 0xF0 || message.back() != 0xF7)
        return refuse(device, log, "not a System Exclusive message");
    const uint8_t* payload = message.data() + 1;
    const size_t size = message.size() - 2;

    if (size == 7 && std::equal(SIGNATURE, SIGNATURE + 5, payload)) {
        ++log.identifyRequests;
        device.assembling.clear();
        return pick(script.identifyReplies, device.identifyIndex, script.identifyOtherwise,
                    script.deviceId, script.modelDelayMs);
    }

    // A data chunk: hex text of the record being received. A record whose
    // chunks stopped coming is given up, so a resend starts afresh.
    if (!device.assembling.empty() && now - device.lastChunkAt > script.partialTimeoutMs) {
        device.assembling.clear();
        log.deviceErrors.push_back("unfinished record dropped");
    }
    device.lastChunkAt = now;
    if (size == 0 || size > MAX_CHUNK_CHARS || size % 2 != 0)
        return refuse(device, log, "chunk of " + std::to_string(size) + " characters");
    for (size_t i = 0; i < size; i += 2) {
        int high = hexValue(payload[i]);
        int low = hexValue(payload[i + 1]);
        if (high < 0 || low < 0) return refuse(device, log, "chunk with a character that is no hex digit");
        device.assembling.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    if (device.assembling.size() < 2) return refuse(device, log, "chunk shorter than a length field");
    size_t recordSize = device.assembling[0] * 256u + device.assembling[1] + 2u;
    if (device.assembling.size() > recordSize) return refuse(device, log, "chunk runs past its record");
    if (device.assembling.size() < recordSize) return simSilence();  // more chunks to come

    SimBytes record;
    record.swap(device.assembling);
    if (script.keepLog) log.records.push_back(record);
    uint16_t sum = 0;
    for (size_t i = 2; i < record.size(); ++i) {
        // payload bytes, then the little-endian checksum word
        sum = static_cast<uint16_t>(sum + (i + 1 == record.size() ? record[i] * 256 : record[i]));
    }
    uint8_t code = sum == 0 ? ACK : CRC_ERROR;
    return pick(script.recordReplies, device.recordIndex, script.recordOtherwise, code,
                script.modelDelayMs);
}
