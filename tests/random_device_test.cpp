// Whole runs against an emulated device whose answers are drawn at random
// from seeded generators: any reply codes, lengths 0 to 200, replies
// missing, late or repeated, failing sends. Whatever the
// device does, the run sends nothing but the identify request and the
// chunks of validated records in order, sends no record more than 20 times
// in a row, ends in one of its defined ends, releases each port once and
// pauses.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/console.h"
#include "tests/console_capture.h"
#include "app/run.h"
#include "tools/kit_writer.h"
#include "midi/midi_link.h"
#include "sim/emulation.h"
#include "tests/in_process_run.h"
#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace {

struct Draw {
    std::mt19937 rng;
    explicit Draw(uint32_t seed) : rng(seed) {}
    uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); }
    bool chance(uint32_t percent) { return below(100) < percent; }
};

SimReply randomReply(Draw& d, uint8_t likelyCode) {
    if (d.chance(20)) return simSilence();
    if (d.chance(30)) return simModel(1 + d.below(3));
    SimReply reply;
    reply.kind = SimReply::Message;
    uint32_t shape = d.below(10);
    if (shape < 5) {
        static const uint8_t codes[] = {0x1A, 0x1A, 0x15, 0x20, 0x21, 0x22, 0x24, 0x25, 0x77, 0x48, 0x58};
        uint8_t code = d.chance(40) ? likelyCode : codes[d.below(sizeof codes)];
        reply.message = {0xF0, code, 0xF7};
    } else if (shape < 7) {
        reply.message = {0xF0};  // a 1-byte message
    } else {
        reply.message.resize(d.below(201));  // 0 to 200 bytes of anything
        for (auto& b : reply.message) b = static_cast<uint8_t>(d.below(256));
    }
    static const uint32_t delays[] = {1, 2, 3, 49, 50, 51, 52, 99, 100, 101, 150, 199, 201, SIM_ON_NEXT_SEND};
    reply.delayMs = delays[d.below(sizeof delays / sizeof delays[0])];
    reply.copies = d.chance(15) ? 2 + d.below(2) : 1;
    return reply;
}

SimScript randomScript(Draw& d) {
    SimScript s;
    s.deviceId = d.chance(85) ? 0x48 : 0x58;
    for (uint32_t i = d.below(4); i > 0; --i) s.identifyReplies.push_back(randomReply(d, 0x48));
    s.identifyOtherwise = d.chance(80) ? simModel() : randomReply(d, 0x48);
    for (uint32_t i = d.below(40); i > 0; --i) s.recordReplies.push_back(randomReply(d, 0x1A));
    s.recordOtherwise = d.chance(80) ? simModel() : randomReply(d, 0x1A);
    if (d.chance(25)) {
        s.failSendAt = 1 + d.below(30);
        s.failSendAfter = d.chance(50);
    }
    return s;
}

Bytes randomKit(Draw& d) {
    Bytes image;
    for (uint32_t r = 1 + d.below(4); r > 0; --r) {
        Bytes payload(d.below(60));
        for (auto& b : payload) b = static_cast<uint8_t>(d.below(256));
        Bytes record = makeKitRecord(payload);
        image.insert(image.end(), record.begin(), record.end());
    }
    return image;
}

// Checks the messages sent: identify requests, then attempts at records in
// order, each attempt the record's chunks from the first (an attempt may
// break off where a send failed). Returns a description of the first fault.
std::string checkWire(const Messages& sent, const SimBytes& identify, const std::vector<Messages>& records) {
    size_t i = 0;
    while (i < sent.size() && sent[i] == identify) ++i;
    size_t record = 0, chunk = 0;
    int attempts = 0;
    for (; i < sent.size(); ++i) {
        const SimBytes& m = sent[i];
        bool continues = chunk > 0 && chunk < records[record].size() && m == records[record][chunk];
        if (continues) {
            ++chunk;
            continue;
        }
        if (record < records.size() && m == records[record][0]) {
            if (++attempts > 20) return "record " + std::to_string(record) + " sent more than 20 times";
        } else if (record + 1 < records.size() && m == records[record + 1][0] && chunk == records[record].size()) {
            ++record;
            attempts = 1;
        } else {
            return "message " + std::to_string(i) + " is no expected chunk";
        }
        chunk = 1;
    }
    return "";
}

const std::vector<std::string> ENDS = {
    sayText(Say::ProgressDone) + sayText(Say::Updated) + "\n",
    sayText(Say::ProgressDone) + sayText(Say::Updated) + sayText(Say::Restarting),
    sayText(Say::UpdateError),
    sayText(Say::NotResponding),
    sayText(Say::OutMissing),
    sayText(Say::TargetResetting),
    sayText(Say::TargetNotMatched),
};

TEST(RandomDevice, EveryRunEndsCleanlyAndSendsOnlyValidatedRecords) {
    const std::string head = std::string(STANDARD_PROFILE.banner) + sayText(Say::KitOpen, "Calvenor_Pro.kit") +
                             sayText(Say::InDevice, "Calvenor Pro") + sayText(Say::OutDevice, "Calvenor Pro");
    const std::string pause = sayText(Say::PressAnyKey) + "\n";
    const SimBytes identify = identifyMessage(STANDARD_PROFILE);

    WorkingFolder folder;
    for (uint32_t seed = 1; seed <= 500; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Draw d(seed);
        Bytes kit = randomKit(d);
        SimScript script = randomScript(d);
        InProcessRun run = runInProcess(STANDARD_PROFILE, kit, script);
        const std::string& console = run.console;
        const SimLog& log = run.log;

        EXPECT_EQ(run.exitCode, 0);
        ASSERT_EQ(console.compare(0, head.size(), head), 0) << console;
        ASSERT_TRUE(endsWith(console, pause)) << console;
        std::string body = console.substr(0, console.size() - pause.size());
        bool defined = false;
        for (const auto& end : ENDS) defined = defined || endsWith(body, end);
        EXPECT_TRUE(defined) << console;
        EXPECT_EQ(portEvents(log), (Events{"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 close"}));
        EXPECT_EQ(checkWire(log.sent, identify, messagesOfRecords(kit)), "");
    }
}

}  // namespace
