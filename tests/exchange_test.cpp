// Every exchange with a device that answers each request it takes once, in
// order: kits of 1 to 3 records (one- and two-chunk records), and for the
// identify requests and the record attempts, every combination of when the
// answer comes and what it says. Runs on the emulated device's clock (the
// host's polls and sleeps), the handshake and the transfer called as the
// run calls them.
//
// Each run must end in one of the run's ends; where no answer comes later
// than one reply wait after it was due, success is said only if the device
// stored every record (it answered an attempt at it with its
// acknowledgement); where every answer comes in time, the console, the
// wire and the pacing are those of the plain exchange: no extra wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "kit/kit.h"
#include "midi/midi_link.h"
#include "protocol/update_protocol.h"
#include "tests/console_capture.h"
#include "tests/scenario_rows.h"
#include "tests/test_support.h"

namespace {

using namespace scenario_rows;

// When an answer comes, relative to the request it answers (all records
// of these kits wait 50 polls; an identify request waits 100, and its next
// request follows its wait at once).
enum class Timing {
    InTime,     // within its own wait
    AfterWait,  // just after its wait: in the resend's first pause, or at the next wait's first poll
    NextWait,   // after the next attempt's last message, within one more reply wait
    Later,      // later than that: beyond the stated limit
    Never,      // the device did not take the request
};

struct Choice {
    Timing timing;
    bool good;  // the device id, or the acknowledgement; else another id, or a CRC error
};

const std::vector<Choice> CHOICES = {
    {Timing::InTime, true},   {Timing::InTime, false},   {Timing::AfterWait, true}, {Timing::AfterWait, false},
    {Timing::NextWait, true}, {Timing::NextWait, false}, {Timing::Later, true},     {Timing::Later, false},
    {Timing::Never, false},
};

// The answer as the emulated device gives it, after the request's last
// message: `due` is when its wait ends (a record: the 1 ms pause and 50
// polls; identify: 100 polls).
SimReply answer(const Choice& c, uint32_t due, uint32_t wait, uint8_t good, uint8_t bad) {
    uint8_t code = c.good ? good : bad;
    switch (c.timing) {
    case Timing::InTime: return simCode(code, 2);
    case Timing::AfterWait: return simCode(code, due + 1);
    case Timing::NextWait: return simCode(code, due + 2 + wait / 2);
    case Timing::Later: return simCode(code, due + 2 + wait + wait / 2);
    case Timing::Never: break;
    }
    return simSilence();
}

SimReply identifyAnswer(const Choice& c) {
    return answer(c, IDENTIFY_POLLS, IDENTIFY_POLLS, STANDARD_PROFILE.deviceId, 0x58);
}
SimReply recordAnswer(const Choice& c) { return answer(c, 1 + ACK_POLLS_SHORT, ACK_POLLS_SHORT, 0x1A, 0x20); }

struct RunSeen {
    std::string console;
    SimLog log;
};

// The handshake and the transfer, as the run calls them, against `script`.
RunSeen exchange(const Bytes& kit, const SimScript& script, KitImage& image) {
    RunSeen seen;
    image.count = static_cast<uint16_t>(kit.size());
    std::copy(kit.begin(), kit.end(), image.bytes);
    simBegin(script);
    consoleCaptureTo(&seen.console);
    uint16_t start = 0;
    if (probeMidiDevices(start) == Outcome::GoOn && openMidiIn(0) == 0 && openMidiOut(start) == 0 &&
        identifyTarget(STANDARD_PROFILE, STANDARD_PROFILE.deviceId) == Outcome::GoOn)
        transferImage(image);
    closeMidiIn();
    closeMidiOut();
    consoleCaptureTo(nullptr);
    seen.log = simLog();
    return seen;
}

// The plain exchange, every answer in time: its console, its wire and the
// host's sleeps before each message.
struct Plain {
    std::string console;
    Messages wire;
    std::vector<uint32_t> sleeps;
};

Plain plainExchange(const Bytes& kit, bool identifyGood, const std::vector<Choice>& records) {
    Plain p;
    p.console = DEVICE;
    p.wire.push_back(identifyMessage(STANDARD_PROFILE));
    p.sleeps.push_back(LISTEN);
    if (!identifyGood) {
        p.console += sayText(Say::TargetNotMatched);
        return p;
    }
    const std::vector<Messages> recordWire = messagesOfRecords(kit);
    size_t attempt = 0, acked = 0;
    for (size_t r = 0; r < recordWire.size(); ++r) {
        int percent = static_cast<int>(acked * 100 / kit.size());
        for (bool good = false; !good;) {
            p.console += progress(SPINNER_SHAPES[r % 8], percent);
            for (size_t c = 0; c < recordWire[r].size(); ++c) {
                p.wire.push_back(recordWire[r][c]);
                p.sleeps.push_back(c == 0 ? 2 : 1);
            }
            good = attempt >= records.size() || records[attempt].good;
            ++attempt;
            if (!good) p.console += CRC_ERROR;
        }
        acked += recordWire[r].size() == 1 ? 6 : 34;
    }
    p.console += DONE;
    return p;
}

// Requests whose answers are chosen; beyond them every answer comes in
// time and acknowledges. Five cover identify, every record of a
// three-record kit and a resend, or up to four resends of a shorter one
// (six, 2.5 million combinations, hold as well; they take a minute). Under
// the sanitizers, which run the same code ten times slower, four.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr size_t DEPTH = 4;
#else
constexpr size_t DEPTH = 5;
#endif

const std::vector<std::string> ENDS = {
    DONE, sayText(Say::UpdateError), NOT_RESPONDING, sayText(Say::TargetNotMatched),
};

TEST(Exchange, EveryTimingAndCodeOfEveryAnswer) {
    auto image = std::make_unique<KitImage>();
    unsigned long runs = 0, beyondLimit = 0, plainRuns = 0, successes = 0;
    for (size_t n = 1; n <= 3; ++n) {
        for (unsigned bits = 0; bits < (1u << n); ++bits) {
            Bytes kit;
            std::vector<Bytes> kitRecords;
            for (size_t r = 0; r < n; ++r) {
                kitRecords.push_back(makeKitRecord(Bytes((bits >> r) & 1 ? 30 : 2, static_cast<uint8_t>(0x11 * (r + 1)))));
                kit.insert(kit.end(), kitRecords.back().begin(), kitRecords.back().end());
            }
            // The choice at each request, as an odometer: the last request
            // the run reached turns first.
            std::vector<size_t> picks(DEPTH, 0);
            size_t identifies = 1;  // of the chosen requests, those that are identify requests
            for (;;) {
                RunSeen seen;
                std::vector<Choice> chosen;
                // How many identify requests there are depends on their own
                // answers only: run until the split holds.
                for (;;) {
                    SimScript script;
                    chosen.clear();
                    for (size_t k = 0; k < DEPTH; ++k) {
                        chosen.push_back(CHOICES[picks[k]]);
                        if (k < identifies) {
                            script.identifyReplies.push_back(identifyAnswer(chosen[k]));
                        } else {
                            script.recordReplies.push_back(recordAnswer(chosen[k]));
                        }
                    }
                    seen = exchange(kit, script, *image);
                    size_t split = std::min<size_t>(seen.log.identifyRequests, DEPTH);
                    if (split == identifies) break;
                    identifies = split;
                }
                ++runs;
                const size_t attempts = seen.log.records.size();
                const size_t reached = std::min(DEPTH, identifies + attempts);
                const std::vector<Choice> used(chosen.begin(), chosen.begin() + static_cast<long>(reached));
                const std::string trace = "kit of " + std::to_string(n) + " records (" + std::to_string(bits) +
                                          "), choices " + [&] {
                                              std::string t;
                                              for (size_t k = 0; k < reached; ++k) t += std::to_string(picks[k]) + " ";
                                              return t;
                                          }() + "\n" + seen.console;

                // Every run ends in one of the run's ends.
                bool ended = false;
                for (const std::string& end : ENDS) ended = ended || endsWith(seen.console, end);
                EXPECT_TRUE(ended) << trace;

                // Success only where the device stored every record.
                bool late = false, inTime = true;
                for (const Choice& c : used) {
                    late = late || c.timing == Timing::Later;
                    inTime = inTime && c.timing == Timing::InTime;
                }
                if (late) ++beyondLimit;
                bool success = endsWith(seen.console, DONE);
                if (success) ++successes;
                if (success && !late) {
                    for (size_t r = 0; r < n; ++r) {
                        bool stored = false;
                        for (size_t j = 0; j < attempts; ++j) {
                            bool acked = identifies + j >= DEPTH || chosen[identifies + j].good;
                            stored = stored || (seen.log.records[j] == kitRecords[r] && acked);
                        }
                        EXPECT_TRUE(stored) << "record " << r + 1 << " was never stored: " << trace;
                    }
                }

                // Every answer in time: the plain exchange, no extra wait.
                if (inTime) {
                    ++plainRuns;
                    std::vector<Choice> recordChoices(chosen.begin() + static_cast<long>(identifies), chosen.end());
                    Plain plain = plainExchange(kit, identifies == 0 || chosen[0].good, recordChoices);
                    EXPECT_EQ(seen.console, plain.console) << trace;
                    EXPECT_EQ(seen.log.sent, plain.wire) << trace;
                    EXPECT_EQ(seen.log.sleepsBefore, plain.sleeps) << trace;
                }

                // The next combination: turn the last request reached.
                size_t k = reached;
                while (k > 0 && picks[k - 1] + 1 == CHOICES.size()) picks[--k] = 0;
                if (k == 0) break;
                ++picks[k - 1];
                for (size_t rest = k; rest < DEPTH; ++rest) picks[rest] = 0;
                if (k - 1 < identifies) identifies = k;  // an identify choice turned: its split is found anew
            }
        }
    }
    std::printf("exchange: %lu combinations; %lu with an answer later than one more reply wait (the stated limit); "
                "%lu with every answer in time; %lu succeeded\n",
                runs, beyondLimit, plainRuns, successes);
    EXPECT_GT(plainRuns, 0u);
    EXPECT_GT(beyondLimit, 0u);
}

}  // namespace
