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
    all.push_back(Row("empty kit: nothing to send", {})
        .prints(DEVICE + DONE)
        .sends({id})
        .ports(FULL_RUN));
    all.push_back(Row("identify request cannot be sent", ONE_RECORD)
        .script(with([](SimScript& s) { s.failSendAt = 1; }))
        .prints(DEVICE + OUT_MISSING)
        .sends({})
        .ports(FULL_RUN));
    all.push_back(Row("target is resetting", ONE_RECORD)
        .script(with([](SimScript& s) { s.identifyReplies = replies({0x15}); }))
        .prints(DEVICE + "Please wait the system reset and retry again!\n\n")
        .sends({id})
        .ports(FULL_RUN));
    all.push_back(Row("standard updater, GD32 target", ONE_RECORD)
        .script(with([](SimScript& s) { s.deviceId = 0x58; }))
        .prints(DEVICE + "Error: The device and the upgrade file is not matched!\n\n")
        .sends({id})
        .ports(FULL_RUN));
    {
        Scenario gd32 = Row("GD32 updater, GD32 target", ONE_RECORD)
            .script(with([](SimScript& s) { s.deviceId = 0x58; }))
            .prints(DEVICE + progress('-', 0) + DONE)
            .sends(Messages{identifyMessage(GD32_PROFILE)} + one)
            .ports(FULL_RUN);
        gd32.profile = &GD32_PROFILE;
        all.push_back(gd32);
        Scenario mismatch = Row("GD32 updater, standard target", ONE_RECORD)
            .prints(DEVICE + "Error: The device and the upgrade file is not matched!\n\n")
            .sends({identifyMessage(GD32_PROFILE)})
            .ports(FULL_RUN);
        mismatch.profile = &GD32_PROFILE;
        all.push_back(mismatch);
    }
    all.push_back(Row("target never answers the identify request", ONE_RECORD)
        .script(with([](SimScript& s) { s.identifyOtherwise = simSilence(); }))
        .prints(DEVICE + NOT_RESPONDING)
        .sends(repeat({id}, 19))
        .ports(FULL_RUN)
        .sleeps({LISTEN, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                                100, 100, 100, 100, 100, 100}));
    all.push_back(Row("identify answered at the fifth request", ONE_RECORD)
        .script(with([](SimScript& s) { s.identifyReplies = repeatReply(simSilence(), 4); }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(repeat({id}, 5) + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 100, 100, 100, 100, 2}));
    {
        // It ends its own wait; each later request waits in full.
        std::vector<uint32_t> sleeps = {LISTEN, 2};
        sleeps.resize(19, 100);
        all.push_back(Row("a 1-byte message ends one wait but is no reply", ONE_RECORD)
            .script(with([](SimScript& s) {
                           s.identifyReplies = {simMessage({0xF0})};
                           s.identifyOtherwise = simSilence();
                       }))
            .prints(DEVICE + NOT_RESPONDING)
            .sends(repeat({id}, 19))
            .ports(FULL_RUN)
            .sleeps(sleeps));
    }
    all.push_back(Row("a 1-byte message, then an answer 50 ms after the next request", ONE_RECORD)
        .script(with([](SimScript& s) { s.identifyReplies = {simMessage({0xF0}), simCode(0x48, 50)}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id, id} + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2, 50}));
    // A power-up announcement or the answer of an interrupted run, sent
    // before this run listened, answers no request.
    all.push_back(Row("a message waiting in the device before the first request", ONE_RECORD)
        .script(with([](SimScript& s) { s.waitingMessage = {0xF0, 0x1A, 0xF7}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2}));
    // Released as the next request goes out: it can come before that send
    // returns, so the next attempt takes it (a request is one message).
    all.push_back(Row("a late identify reply is taken by the next attempt", ONE_RECORD)
        .script(with([](SimScript& s) {
                       s.identifyReplies = {simCode(0x48, SIM_ON_NEXT_SEND)};
                       s.identifyOtherwise = simSilence();
                   }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id, id} + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 100, 0}));

    return all;
}

}  // namespace scenario_rows
