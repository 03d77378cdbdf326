#include <cstring>

#include "core/console.h"
#include "midi/midi_link.h"
#include "protocol/update_protocol.h"
#include "protocol/wire.h"

Outcome identifyTarget(const TargetProfile& profile, uint8_t deviceId) {
    uint8_t request[sizeof profile.identifyRequest];
    std::memcpy(request, profile.identifyRequest, sizeof request);

    for (uint16_t countdown = IDENTIFY_COUNTDOWN; --countdown != 0;) {
        // A message that waited in the device, or the late answer to an
        // earlier request, does not answer this one.
        forgetReplies();
        if (sendSysEx(request, sizeof request) != 0) {
            consolePrint("Error: The MIDI Out of device is missing!\n\n");
            return Outcome::Stop;
        }
        for (uint16_t polls = 0; polls < IDENTIFY_POLLS; ++polls) {
            if (replyCount() != 0) break;
            awaitReply();
        }
        if (replyCount() > 1) {
            uint8_t code = takeReplyCode();
            if (code == deviceId) return Outcome::GoOn;
            if (code == REPLY_RESETTING) {
                consolePrint("Please wait the system reset and retry again!\n\n");
            } else {
                consolePrint("Error: The device and the upgrade file is not matched!\n\n");
            }
            return Outcome::Stop;
        }
        // No reply, or a message of a single byte: ask again.
    }
    consolePrint("\nFailed: Target is not responding.\n\n");
    return Outcome::Stop;
}
