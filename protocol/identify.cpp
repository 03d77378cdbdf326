#include "core/console.h"
#include "core/run_log.h"
#include "midi/midi_link.h"
#include "protocol/owed_answers.h"
#include "protocol/wait_log.h"
#include "protocol/update_protocol.h"
#include "protocol/wire.h"

namespace {

// One identify request: whether it went out, and what came back.
struct Request {
    bool sent = false;
    uint16_t polled = 0;    // polls its wait took
    bool answered = false;  // a reply of 2 bytes or more came
    uint8_t code = 0;       // its reply code
};

// What comes of a request's judgement.
enum class Identity { Ours, Other, Unanswered };

// Sends the request and waits for its answer.
Request askIdentity(const uint8_t* request, size_t length, OwedAnswers& owed) {
    Request r;
    // The late answer to an earlier request, or a message still half in
    // when the listening ended, does not answer this one.
    forgetReplies();
    ++owed.requests;
    if (sendSysEx(request, static_cast<uint16_t>(length), 0) != 0) {
        consoleSay(Say::OutMissing);
        runLogLine("outcome: identify request %lu could not be sent", static_cast<unsigned long>(owed.requests));
        return r;
    }
    r.sent = true;
    runLogLine("identify request %lu sent", static_cast<unsigned long>(owed.requests));
    for (; r.polled < IDENTIFY_POLLS && replyCount() == 0; ++r.polled) awaitReply();
    logWaitEnd(replyCount(), r.polled);
    r.answered = replyCount() > 1;
    if (r.answered) r.code = takeReplyCode();
    return r;
}

// The device's own answer may be one still owed to an earlier request: the
// last answer owed decides, before any record goes. It waits what is left
// of this request's wait and one more.
Identity judgeIdentity(const Request& r, const OwedAnswers& owed, uint8_t deviceId) {
    if (!r.answered) return Identity::Unanswered;  // none, or a single byte: ask again
    uint8_t code = r.code;
    if (code == deviceId && owedCount(owed) != 0) {
        OwedWait owedWait = awaitOwedAnswers(owed, static_cast<uint16_t>(IDENTIFY_POLLS - r.polled + IDENTIFY_POLLS));
        if (owedWait.answered) code = owedWait.code;
    }
    if (code == deviceId) {
        runLogLine("identified: the device answered 0x%02X", code);
        return Identity::Ours;
    }
    if (code == REPLY_RESETTING) {
        consoleSay(Say::TargetResetting);
        runLogLine("outcome: the device answered 0x%02X: it is resetting", code);
    } else {
        consoleSay(Say::TargetNotMatched);
        runLogLine("outcome: the device answered 0x%02X, not this build's 0x%02X", code, deviceId);
    }
    return Identity::Other;
}

}  // namespace

Outcome identifyTarget(const TargetProfile& profile, uint8_t deviceId) {
    // What the device sent before the run listened reaches the input only
    // now, and answers no request.
    uint16_t early = forgetEarlyMessages(EARLY_MESSAGE_POLLS);
    runLogLine("listened %u polls before the first request: %u message(s) forgotten", EARLY_MESSAGE_POLLS, early);

    OwedAnswers owed;
    owedBegin(owed);
    for (uint16_t countdown = IDENTIFY_COUNTDOWN; --countdown != 0;) {
        Request r = askIdentity(profile.identifyRequest, sizeof profile.identifyRequest, owed);
        if (!r.sent) return Outcome::Stop;
        Identity identity = judgeIdentity(r, owed, deviceId);
        if (identity == Identity::Ours) return Outcome::GoOn;
        if (identity == Identity::Other) return Outcome::Stop;
    }
    consoleSay(Say::NotResponding);
    runLogLine("outcome: no answer to %lu identify requests", static_cast<unsigned long>(owed.requests));
    return Outcome::Stop;
}
