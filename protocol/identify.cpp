#include <cstring>

#include "core/console.h"
#include "core/run_log.h"
#include "midi/midi_link.h"
#include "protocol/owed_answers.h"
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

    OwedAnswers owed;
    owedBegin(owed);
    for (uint16_t countdown = IDENTIFY_COUNTDOWN; --countdown != 0;) {
        // The late answer to an earlier request, or a message still half
        // in when the listening ended, does not answer this one.
        forgetReplies();
        ++owed.requests;
        if (sendSysEx(request, sizeof request, 0) != 0) {
            consoleSay(Say::OutMissing);
            runLogLine("outcome: identify request %lu could not be sent", static_cast<unsigned long>(owed.requests));
            return Outcome::Stop;
        }
        runLogLine("identify request %lu sent", static_cast<unsigned long>(owed.requests));
        uint16_t polls = 0;
        for (; polls < IDENTIFY_POLLS; ++polls) {
            if (replyCount() != 0) break;
            awaitReply();
        }
        logWaitEnd(replyCount(), polls);
        if (replyCount() > 1) {
            uint8_t code = takeReplyCode();
            // The device's own answer may be one still owed to an earlier
            // request: the last answer owed decides, before any record goes.
            // It waits what is left of this request's wait and one more.
            if (code == deviceId && owedCount(owed) != 0) {
                OwedWait owedWait = awaitOwedAnswers(owed, static_cast<uint16_t>(IDENTIFY_POLLS - polls + IDENTIFY_POLLS));
                if (owedWait.answered) code = owedWait.code;
            }
            if (code == deviceId) {
                runLogLine("identified: the device answered 0x%02X", code);
                return Outcome::GoOn;
            }
            if (code == REPLY_RESETTING) {
                consoleSay(Say::TargetResetting);
                runLogLine("outcome: the device answered 0x%02X: it is resetting", code);
            } else {
                consoleSay(Say::TargetNotMatched);
                runLogLine("outcome: the device answered 0x%02X, not this build's 0x%02X", code, deviceId);
            }
            return Outcome::Stop;
        }
        // No reply, or a message of a single byte: ask again.
    }
    consoleSay(Say::NotResponding);
    runLogLine("outcome: no answer to %lu identify requests", static_cast<unsigned long>(owed.requests));
    return Outcome::Stop;
}
