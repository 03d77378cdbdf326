// The table's rows of the record transfer.
#include "tests/scenario_rows.h"

#include "tests/sim_script.h"

namespace scenario_rows {

namespace {

// A kit of real size: 256 records of 250 bytes, 64 000 bytes in all. Each
// progress line shows the bytes acknowledged before it as a share of the
// whole; the first records at 85 % or more wait 200 polls, those before 50.
// Records 217 (84 %) and 218 (85 %) go unanswered once.
Scenario realSizeKit(const SimBytes& id) {
    const size_t RECORDS = 256, SIZE = 250;
    Scenario s = Row("a kit of real size: its percentages and the long waits", sampleKit(RECORDS, SIZE - 4))
        .prints(DEVICE)
        .sends({id})
        .ports(FULL_RUN);
    s.script.recordReplies = repeatReply(simModel(), 217) + std::vector<SimReply>{simSilence(), simModel(),
                                                                                    simSilence()};
    s.sleepsBefore = {LISTEN};
    const std::vector<Messages> records = messagesOfRecords(s.kit);
    for (size_t r = 0; r < RECORDS; ++r) {
        int percent = static_cast<int>(r * SIZE * 100 / s.kit.size());
        int attempts = r == 217 || r == 218 ? 2 : 1;
        for (int a = 0; a < attempts; ++a) {
            s.transcript += progress(SPINNER_SHAPES[r % 8], percent);
            s.wire = s.wire + records[r];
            // Before the first chunk: the wait that ended the attempt before.
            // After record 217's and 218's acknowledgements, the answer their
            // unanswered attempts still owe is waited for: the rest of the
            // resend's wait and one more of their kind.
            uint32_t first = r == 0 && a == 0 ? 2
                             : a == 1         ? (r == 217 ? 51 : 201)
                             : r == 218       ? 2 + 49 + 50
                             : r == 219       ? 2 + 199 + 200
                                              : 2;
            s.sleepsBefore.push_back(first);
            s.sleepsBefore.resize(s.sleepsBefore.size() + records[r].size() - 1, 1);
        }
    }
    s.transcript += DONE;
    return s;
}

}  // namespace

std::vector<Scenario> transferRows() {
    const Bytes three = sampleKit(3, 30);  // records of 34 bytes: a full chunk and a short one
    const Bytes ten = sampleKit(10, 2);    // records of 6 bytes
    const Bytes nine = sampleKit(9, 2);
    const Bytes twenty = sampleKit(20, 2);
    const SimBytes id = identifyMessage(STANDARD_PROFILE);
    const Messages one = recordMessages(ONE_RECORD, 0);
    const Bytes big = sampleKit(3, 246);  // records of 250 bytes: eleven chunks, as in a real kit
    auto bigRecord = [&big](size_t r) { return recordMessages(big, r); };

    std::vector<Scenario> all;

    // --- record transfer ---
    all.push_back(Row("CRC error three times, then acknowledged", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = replies({0x20, 0x20, 0x20}); }))
        .prints(DEVICE + times(progress('-', 0) + CRC_ERROR, 3) +
                       progress('-', 0) + DONE)
        .sends(Messages{id} + repeat(one, 4))
        .ports(FULL_RUN));
    all.push_back(Row("every rejection code and its message", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = replies({0x21, 0x22, 0x24, 0x25, 0x30}); }))
        .prints(DEVICE + progress('-', 0) + sayText(Say::Damaged) + progress('-', 0) +
                       sayText(Say::Damaged) + progress('-', 0) +
                       sayText(Say::VerifyError) + progress('-', 0) + sayText(Say::EraseError) +
                       progress('-', 0) + progress('-', 0) + DONE)
        .sends(Messages{id} + repeat(one, 6))
        .ports(FULL_RUN));
    all.push_back(Row("target restarts", three)
        .script(with([](TestScript& s) { s.recordReplies = replies({0x1A, 0x77}); }))
        .prints(DEVICE + progress('-', 0) + progress('-', 33) +
                       sayText(Say::ProgressDone) + sayText(Say::Updated) + sayText(Say::Restarting))
        .sends(Messages{id} + recordMessages(three, 0) + recordMessages(three, 1))
        .ports(FULL_RUN));
    all.push_back(Row("a restart reply as the twentieth failure", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = repeatReply(simCode(0x30), 19) + replies({0x77}); }))
        .prints(DEVICE + times(progress('-', 0), 20) + sayText(Say::UpdateError))
        .sends(Messages{id} + repeat(one, 20))
        .ports(FULL_RUN));
    all.push_back(Row("twenty CRC errors", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordOtherwise = simCode(0x20); }))
        .prints(DEVICE + times(progress('-', 0) + CRC_ERROR, 19) +
                       progress('-', 0) + sayText(Say::UpdateError))
        .sends(Messages{id} + repeat(one, 20))
        .ports(FULL_RUN));
    {
        std::vector<uint32_t> sleeps = {LISTEN, 2};
        sleeps.resize(21, 51);
        all.push_back(Row("target never answers a record", ONE_RECORD)
            .script(with([](TestScript& s) { s.recordOtherwise = simSilence(); }))
            .prints(DEVICE + times(progress('-', 0), 20) + NOT_RESPONDING)
            .sends(Messages{id} + repeat(one, 20))
            .ports(FULL_RUN)
            .sleeps(sleeps));
    }
    {
        // Due 1 ms after the judgement: it arrives during the resend. Its
        // only chunk has started, so nothing tells the late reply from an
        // answer to the resend.
        Scenario late = Row("a late reply to a one-chunk record is taken by the next attempt", ONE_RECORD)
            .script(with([](TestScript& s) { s.recordReplies = {simCode(0x1A, 52)}; }))
            .prints(DEVICE + progress('-', 0) + progress('-', 0) + DONE)
            .sends(Messages{id} + one + one)
            .ports(FULL_RUN)
            .sleeps({LISTEN, 2, 51});
        late.hostClockOnly = true;
        all.push_back(late);
    }
    // --- answers still owed ---
    // The device answers each attempt once, in order, and is slow: record
    // 13's first answer comes only as its resend goes out, so the resend's
    // wait takes it. The resend's own answer is still owed and waited for,
    // before record 14, whose CRC error then is its own.
    {
        std::vector<SimReply> answers = repeatReply(simModel(), 12);
        answers.push_back(simCode(0x1A, SIM_ON_NEXT_SEND));  // record 13, first attempt
        answers.push_back(simModel());                       // its resend
        answers.push_back(simCode(0x20));                    // record 14
        Scenario slow = Row("record 13 answered late, record 14 rejected: record 14 goes again", twenty)
            .prints(DEVICE)
            .sends({id})
            .ports(FULL_RUN)
            .logs({"record 13 (at 72, 6 bytes, 1 chunks), attempt 2 sent", "received: F0 1A F7",
                   "1 answer(s) still owed: waiting at most 99 polls", "received: F0 1A F7",
                   "record 13 acknowledged", "received: F0 20 F7", "record 14 answered 0x20"});
        slow.script.recordReplies = answers;
        slow.sleepsBefore = {LISTEN};
        for (int r = 0; r < 20; ++r) {
            int attempts = r == 12 || r == 13 ? 2 : 1;
            for (int a = 0; a < attempts; ++a) {
                slow.transcript += progress(SPINNER_SHAPES[r % 8], 5 * r);
                if (r == 13 && a == 0) slow.transcript += CRC_ERROR;
                slow.wire = slow.wire + recordMessages(twenty, static_cast<size_t>(r));
                slow.sleepsBefore.push_back(r == 12 && a == 1 ? 51 : 2);
            }
        }
        slow.transcript += DONE;
        all.push_back(slow);
    }
    // The last record's first answer comes as its resend goes out; the
    // resend's own, a CRC error, decides: it goes again, and success is
    // said only once the device has answered every attempt.
    all.push_back(Row("the last record answered late, its resend rejected: it goes again", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = {simCode(0x1A, SIM_ON_NEXT_SEND), simCode(0x20)}; }))
        .prints(DEVICE + progress('-', 0) + progress('-', 0) + CRC_ERROR + progress('-', 0) + DONE)
        .sends(Messages{id} + repeat(one, 3))
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2, 51, 2}));
    // A device that drops one answer (it did not take the attempt) costs
    // one more wait of the record's kind, and nothing else.
    all.push_back(Row("a dropped answer: a resend, one more wait, success", three)
        .script(with([](TestScript& s) { s.recordReplies = {simModel(), simSilence()}; }))
        .prints(DEVICE + progress('-', 0) + progress('-', 33) + progress('-', 33) + progress('\\', 66) + DONE)
        .sends(Messages{id} + recordMessages(three, 0) + recordMessages(three, 1) + recordMessages(three, 1) +
               recordMessages(three, 2))
        .ports(FULL_RUN)
        // The resend's answer comes at its wait's first poll; then the rest
        // of that wait and one more: 49 + 50 polls.
        .sleeps({LISTEN, 2, 1, 2, 1, 51, 1, 2 + 99, 1})
        .logs({"record 2: no reply", "1 answer(s) still owed: waiting at most 99 polls",
               "no owed answer in 99 polls: the device dropped them", "record 2 acknowledged"}));
    // The late CRC error of the first attempt and the resend's
    // acknowledgement arrive within one poll: both are written, the latest
    // decides, and nothing is owed. (Only the host's clock can promise that
    // the two fall within one poll.)
    {
        Scenario both = Row("a late CRC error and the acknowledgement in one poll: the latest decides", ONE_RECORD)
            .script(with([](TestScript& s) { s.recordReplies = {simCode(0x20, SIM_ON_NEXT_SEND), simCode(0x1A, 0)}; }))
            .prints(DEVICE + progress('-', 0) + progress('-', 0) + DONE)
            .sends(Messages{id} + repeat(one, 2))
            .ports(FULL_RUN)
            .sleeps({LISTEN, 2, 51})
            .logs({"record 1: no reply", "received: F0 20 F7", "received: F0 1A F7",
                   "the wait ended after 1 polls with a reply of 3 bytes", "record 1 acknowledged"});
        both.hostClockOnly = true;
        all.push_back(both);
    }
    all.push_back(Row("a record reply held until the resend", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = {simCode(0x1A, SIM_ON_NEXT_SEND)}; }))
        .prints(DEVICE + progress('-', 0) + progress('-', 0) + DONE)
        .sends(Messages{id} + one + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2, 51}));
    {
        // Acknowledged 5 ms after the record's wait ended, while the resend's
        // chunks go out: forgotten, and the device's answer to the resend
        // decides. The rejected second record is sent again.
        Scenario late = Row("a late acknowledgement, then a CRC error on a later record", big)
            .script(with([](TestScript& s) { s.recordReplies = {simCode(0x1A, 56), simModel(), simCode(0x20)}; }))
            .prints(DEVICE + progress('-', 0) + progress('-', 0) + progress('-', 33) + CRC_ERROR + progress('-', 33) +
                          progress('\\', 66) + DONE)
            .sends(Messages{id} + bigRecord(0) + bigRecord(0) + bigRecord(1) + bigRecord(1) + bigRecord(2))
            .ports(FULL_RUN);
        late.hostClockOnly = true;
        all.push_back(late);
    }
    {
        // Each acknowledgement comes twice, 5 ms apart: the second arrives
        // while the next record's chunks go out.
        SimReply twice = simCode(0x1A);
        twice.copies = 2;
        twice.copyGapMs = 5;
        Scenario dup = Row("every record acknowledged twice, a later one rejected", big)
            .prints(DEVICE + progress('-', 0) + progress('-', 33) + CRC_ERROR + progress('-', 33) + progress('\\', 66) +
                         DONE)
            .sends(Messages{id} + bigRecord(0) + bigRecord(1) + bigRecord(1) + bigRecord(2))
            .ports(FULL_RUN);
        dup.script.recordReplies = {twice, simCode(0x20)};
        dup.script.recordOtherwise = twice;
        all.push_back(dup);
    }
    all.push_back(Row("two acknowledgements in one packet, a later record rejected", three)
        .script(with([](TestScript& s) {
                       s.recordReplies = {simMessage({0xF0, 0x1A, 0xF7, 0xF0, 0x1A, 0xF7}), simCode(0x20)};
                   }))
        .prints(DEVICE + progress('-', 0) + progress('-', 33) + CRC_ERROR + progress('-', 33) + progress('\\', 66) + DONE)
        .sends(Messages{id} + recordMessages(three, 0) + recordMessages(three, 1) + recordMessages(three, 1) +
                       recordMessages(three, 2))
        .ports(FULL_RUN));
    all.push_back(Row("a 1-byte message does not end a record's wait", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = {simMessage({0xF0})}; }))
        .prints(DEVICE + progress('-', 0) + progress('-', 0) + DONE)
        .sends(Messages{id} + one + one)
        .ports(FULL_RUN)
        .sleeps({LISTEN, 2, 51}));
    all.push_back(Row("spinner over ten records", ten)
        .prints(DEVICE + progress('-', 0) + progress('-', 10) + progress('\\', 20) + progress('\\', 30) +
                       progress('|', 40) + progress('|', 50) + progress('/', 60) + progress('/', 70) +
                       progress('-', 80) + progress('-', 90) + DONE)
        .sends([&] {
                       Messages m = {id};
                       for (size_t r = 0; r < 10; ++r) m = m + recordMessages(ten, r);
                       return m;
                   }())
        .ports(FULL_RUN));
    // The eighth record (the eighth shape) is sent twice.
    const std::string eighthResent = DEVICE + progress('-', 0) + progress('-', 11) + progress('\\', 22) +
                                     progress('\\', 33) + progress('|', 44) + progress('|', 55) + progress('/', 66) +
                                     progress('/', 77) + progress('/', 77) + progress('-', 88) + DONE;
    Messages eighthResentWire = {id};
    for (size_t r : {0, 1, 2, 3, 4, 5, 6, 7, 7, 8}) eighthResentWire = eighthResentWire + recordMessages(nine, r);
    all.push_back(Row("a resent record keeps its spinner shape, also the eighth", nine)
        .script(with([](TestScript& s) { s.recordReplies = replies({0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x30}); }))
        .prints(eighthResent)
        .sends(eighthResentWire)
        .ports(FULL_RUN));
    all.push_back(Row("a silent attempt at the eighth spinner shape keeps it", nine)
        .script(with([](TestScript& s) {
                       s.recordReplies = repeatReply(simModel(), 7);
                       s.recordReplies.push_back(simSilence());
                   }))
        .prints(eighthResent)
        .sends(eighthResentWire)
        .ports(FULL_RUN));
    all.push_back(realSizeKit(id));
    {
        // Records at 80 % wait 50 polls, from 85 % on 200 polls.
        Scenario longWait = Row("the long wait from 85 %", twenty)
            .script(with([](TestScript& s) {
                              s.recordReplies = repeatReply(simModel(), 16) + std::vector<SimReply>{
                                  simSilence(), simModel(), simSilence()};
                          }))
            .prints(DEVICE)
            .sends({id})
            .ports(FULL_RUN);
            int shape = 0;
        for (int r = 0; r < 20; ++r) {
            longWait.transcript += progress(SPINNER_SHAPES[shape % 8], 5 * r);
            if (r == 16 || r == 17) longWait.transcript += progress(SPINNER_SHAPES[shape % 8], 5 * r);
            ++shape;
            longWait.wire = longWait.wire + recordMessages(twenty, r);
            if (r == 16 || r == 17) longWait.wire = longWait.wire + recordMessages(twenty, r);
        }
        longWait.transcript += DONE;
        longWait.sleepsBefore = {LISTEN};
        longWait.sleepsBefore.resize(18, 2);  // the first attempts of records 0 to 16
        // After each acknowledgement that followed an unanswered attempt,
        // the answer still owed is waited for: the rest of the resend's wait
        // and one more of the record's kind.
        longWait.sleepsBefore.insert(longWait.sleepsBefore.end(), {51, 2 + 49 + 50, 201, 2 + 199 + 200, 2});
        all.push_back(longWait);
    }
    all.push_back(Row("a full chunk cannot be sent", three)
        .script(with([](TestScript& s) { s.failSendAt = 2; }))
        .prints(DEVICE + progress('-', 0) + "\n" + sayText(Say::OutMissing))
        .sends({id})
        .ports(FULL_RUN));
    {
        const Bytes twoFull = sampleKit(2, 42);  // records of 46 bytes: two full chunks
        all.push_back(Row("a failed last chunk that is full ends the transfer", twoFull)
            .script(with([](TestScript& s) { s.failSendAt = 3; }))
            .prints(DEVICE + progress('-', 0) + "\n" + sayText(Say::OutMissing))
            .sends({id, recordMessages(twoFull, 0)[0]})
            .ports(FULL_RUN));
    }
    {
        Scenario shortTail = Row("a failed short last chunk shows as a missing reply", three)
            .script(with([](TestScript& s) { s.failSendAt = 3; }))
            .prints(DEVICE + progress('-', 0) + progress('-', 0) + progress('-', 33) + progress('\\', 66) + DONE)
            .sends(Messages{id} + Messages{recordMessages(three, 0)[0]} + recordMessages(three, 0) +
                               recordMessages(three, 1) + recordMessages(three, 2))
            .ports(FULL_RUN);
        shortTail.deviceErrors = {"unfinished record dropped"};
        all.push_back(shortTail);
    }
    all.push_back(Row("the output vanishes while a record is awaited", three)
        .script(with([](TestScript& s) {
                       s.recordReplies = {simSilence()};
                       s.failSendAt = 4;
                       s.failSendAfter = true;
                   }))
        .prints(DEVICE + progress('-', 0) + progress('-', 0) + "\n" + sayText(Say::OutMissing))
        .sends(Messages{id} + recordMessages(three, 0))
        .ports(FULL_RUN));
    {
        // Unplugged mid-update: from message n on every send fails. A failed
        // short last chunk shows only as a missing reply; the resend fails.
        const std::string err = "\n" + sayText(Say::OutMissing);
        const std::string p0 = progress('-', 0), p33 = progress('-', 33), p66 = progress('\\', 66);
        const std::string transcripts[] = {
            DEVICE + OUT_MISSING,      DEVICE + p0 + err,        DEVICE + p0 + p0 + err,
            DEVICE + p0 + p33 + err,   DEVICE + p0 + p33 + p33 + err, DEVICE + p0 + p33 + p66 + err,
            DEVICE + p0 + p33 + p66 + p66 + err,
        };
        Messages allSent = Messages{id} + recordMessages(three, 0) + recordMessages(three, 1) + recordMessages(three, 2);
        for (uint32_t n = 1; n <= 7; ++n) {
            TestScript script;
            script.failSendAt = n;
            script.failSendAfter = true;
            all.push_back(Row("unplugged at message " + std::to_string(n), three)
                .script(script)
                .prints(transcripts[n - 1])
                .sends(Messages(allSent.begin(), allSent.begin() + (n - 1)))
                .ports(FULL_RUN));
        }
    }
    return all;
}

}  // namespace scenario_rows
