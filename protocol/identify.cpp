#include <cstring>

#include "core/console.h"
#include "core/run_log.h"
#include "midi/midi_link.h"
#include "protocol/wait_log.h"
#include "protocol/update_protocol.h"
#include "protocol/wire.h"

Outcome identifyTarget(const TargetProfile& profile, uint8_t deviceId) {
    uint8_t request[sizeof profile.identifyRequest];
    std::memcpy(request, profile.identifyRequest, sizeof request);

    // What the device sent before the run listened reaches the input only
    // now, and answers no request.
    uint16_t early = forgetEarlyMessages(EARLY_MESSAGE_POLLS);
    runLogLine("listened %u polls before the first request: %u message(s) forgotten", EARLY_MESSAGE_POLLS, early);

    uint16_t attempt = 0;
    for (uint16_t countdown = IDENTIFY_COUNTDOWN; --countdown != 0;) {
        // The late answer to an earlier request, or a message still half
        // in when the listening ended, does not answer this one.
        forgetReplies();
        ++attempt;
        if (sendSysEx(request, sizeof request) != 0) {
            consolePrint("Error: The MIDI Out of device is missing!\n\n");
            runLogLine("outcome: identify request %u could not be sent", attempt);
            return Outcome::Stop;
        }
        runLogLine("identify request %u sent", attempt);
        uint16_t polls = 0;
        for (; polls < IDENTIFY_POLLS; ++polls) {
            if (replyCount() != 0) break;
            awaitReply();
        }
        logWaitEnd(replyCount(), polls);
        if (replyCount() > 1) {
            uint8_t code = takeReplyCode();
            if (code == deviceId) {
                runLogLine("identified: the device answered 0x%02X", code);
                return Outcome::GoOn;
            }
            if (code == REPLY_RESETTING) {
                consolePrint("Please wait the system reset and retry again!\n\n");
                runLogLine("outcome: the device answered 0x%02X: it is resetting", code);
            } else {
                consolePrint("Error: The device and the upgrade file is not matched!\n\n");
                runLogLine("outcome: the device answered 0x%02X, not this build's 0x%02X", code, deviceId);
            }
            return Outcome::Stop;
        }
        // No reply, or a message of a single byte: ask again.
    }
    consolePrint("\nFailed: Target is not responding.\n\n");
    runLogLine("outcome: no answer to %u identify requests", attempt);
    return Outcome::Stop;
}
