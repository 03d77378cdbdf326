// The table's rows of the identify handshake.
#include "tests/scenario_rows.h"

#include "tests/sim_script.h"

namespace scenario_rows {

std::vector<Scenario> identifyRows() {
    const SimBytes id = identifyMessage(STANDARD_PROFILE);
    const Messages one = recordMessages(ONE_RECORD, 0);

    std::vector<Scenario> all;

    // --- identify handshake ---
    all.push_back(Row("one record, acknowledged", ONE_RECORD)
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2}));
    // No record, nothing to update the device with: refused before any port.
    all.push_back(Row("empty kit: refused", {})
        .prints(sayText(Say::KitError))
        .sends({})
        .ports({}));
    all.push_back(Row("identify request cannot be sent", ONE_RECORD)
        .script(with([](TestScript& s) { s.failSendAt = 1; }))
        .prints(DEVICE + OUT_MISSING)
        .sends({})
        .ports(FULL_RUN));
    all.push_back(Row("target is resetting", ONE_RECORD)
        .script(with([](TestScript& s) { s.identifyReplies = replies({0x15}); }))
        .prints(DEVICE + sayText(Say::TargetResetting))
        .sends({id})
        .ports(FULL_RUN));
    all.push_back(Row("standard updater, GD32 target", ONE_RECORD)
        .script(with([](TestScript& s) { s.deviceId = 0x58; }))
        .prints(DEVICE + sayText(Say::TargetNotMatched))
        .sends({id})
        .ports(FULL_RUN));
    {
        Scenario gd32 = Row("GD32 updater, GD32 target", ONE_RECORD)
            .script(with([](TestScript& s) { s.deviceId = 0x58; }))
            .prints(DEVICE + progress('-', 0) + DONE)
            .sends(Messages{identifyMessage(GD32_PROFILE)} + one)
            .ports(FULL_RUN);
        gd32.profile = &GD32_PROFILE;
        all.push_back(gd32);
        Scenario mismatch = Row("GD32 updater, standard target", ONE_RECORD)
            .prints(DEVICE + sayText(Say::TargetNotMatched))
            .sends({identifyMessage(GD32_PROFILE)})
            .ports(FULL_RUN);
        mismatch.profile = &GD32_PROFILE;
        all.push_back(mismatch);
    }
    all.push_back(Row("target never answers the identify request", ONE_RECORD)
        .script(with([](TestScript& s) { s.identifyOtherwise = simSilence(); }))
        .prints(DEVICE + NOT_RESPONDING)
        .sends(repeat({id}, 19))
        .ports(FULL_RUN)
        .sleeps({LISTEN, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                                100, 100, 100, 100, 100, 100}));
    all.push_back(Row("identify answered at the fifth request", ONE_RECORD)
        .script(with([](TestScript& s) { s.identifyReplies = repeatReply(simSilence(), 4); }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(repeat({id}, 5) + one)
        .ports(FULL_RUN)
        // The fifth answer may be the first's, late: the four still owed,
        // which never come, are waited for the rest of the fifth request's
        // wait and one identify wait more.
        .sleeps({LISTEN, 100, 100, 100, 100, 2 + 98 + 100}));
    {
        // It ends its own wait; each later request waits in full.
        std::vector<uint32_t> sleeps = {LISTEN, 2};
        sleeps.resize(19, 100);
        all.push_back(Row("a 1-byte message ends one wait but is no reply", ONE_RECORD)
            .script(with([](TestScript& s) {
                           s.identifyReplies = {simMessage({0xF0})};
                           s.identifyOtherwise = simSilence();
                       }))
            .prints(DEVICE + NOT_RESPONDING)
            .sends(repeat({id}, 19))
            .ports(FULL_RUN)
            .sleeps(sleeps));
    }
    all.push_back(Row("a 1-byte message, then an answer 50 ms after the next request", ONE_RECORD)
        .script(with([](TestScript& s) { s.identifyReplies = {simMessage({0xF0}), simCode(0x48, 50)}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id, id} + one)
        .ports(FULL_RUN)
        // A 1-byte message is no answer: the first request's is still owed.
        .sleeps({LISTEN, 2, 50 + 50 + 100}));
    // A power-up announcement or the answer of an interrupted run, sent
    // before this run listened, answers no request.
    all.push_back(Row("a message waiting in the device before the first request", ONE_RECORD)
        .script(with([](TestScript& s) { s.waitingMessage = {0xF0, 0x1A, 0xF7}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2}));
    // Released as the next request goes out: it can come before that send
    // returns, so the next attempt takes it (a request is one message).
    // The first request's answer comes as the second goes out; the second's
    // own answer is still owed, and it decides.
    all.push_back(Row("identify answered late, then resetting: the last answer decides", ONE_RECORD)
        .script(with([](TestScript& s) { s.identifyReplies = {simCode(0x48, SIM_ON_NEXT_SEND), simCode(0x15)}; }))
        .prints(DEVICE + sayText(Say::TargetResetting))
        .sends({id, id})
        .ports(FULL_RUN)
        .sleeps({LISTEN, 100})
        .logs({"identify request 2 sent", "received: F0 48 F7", "1 answer(s) still owed: waiting at most 199 polls",
               "received: F0 15 F7", "after 2 polls the last owed answer is 0x15; 0 still owed"}));
    all.push_back(Row("a late identify reply is taken by the next attempt", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.identifyReplies = {simCode(0x48, SIM_ON_NEXT_SEND)};
                       s.identifyOtherwise = simSilence();
                   }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id, id} + one)
        .ports(FULL_RUN)
        // ... and the second request's answer, which never comes, is waited
        // for: the rest of its wait (the late reply was there at its first
        // poll, which did not sleep) and one identify wait more.
        .sleeps({LISTEN, 100, 99 + 100}));

    return all;
}

}  // namespace scenario_rows
