// The table of whole-run scenarios, shared by the runs against the emulated
// device in this process and the runs of the Windows executables under Wine.
#pragma once

#include <string>
#include <vector>

#include "protocol/target_profile.h"
#include "tools/kit_writer.h"
#include "sim/emulation.h"
#include "tests/sim_script.h"

using Messages = std::vector<SimBytes>;
using Events = std::vector<std::string>;

struct Scenario {
    std::string name;
    Bytes kit;
    TestScript script;
    std::string transcript;  // after the banner and the kit line, before the pause
    Messages wire;           // every message sent
    Events events;           // port events
    std::vector<uint32_t> sleepsBefore = {};  // host sleeps before each message; unchecked if empty
    const TargetProfile* profile = &STANDARD_PROFILE;
    std::vector<std::string> deviceErrors = {};
    // Lines the run's account must hold, in this order (after its time).
    std::vector<std::string> accountLines = {};
    bool hostClockOnly = false;  // its timing holds only where time is the host's sleeps
    bool windowsOnly = false;    // the WinMM driver's own behaviour (the Windows test double)
    // Which of Windows' two WinMM paths (the double's modes) it runs on.
    enum Path { BothPaths, ClassicPath, ServicePath };
    Path winmmPath = BothPaths;
};

std::vector<Scenario> scenarios();

// One drawing of the progress line.
std::string progress(char shape, int percent);
Messages operator+(Messages a, const Messages& b);

// A payload framed as one System Exclusive message.
SimBytes framed(const std::string& text);
// The profile's identify request as it goes on the wire.
SimBytes identifyMessage(const TargetProfile& profile);
// The chunk messages of each record of `image`, written out by hand.
std::vector<Messages> messagesOfRecords(const Bytes& image);
// Those of record `index` alone.
Messages recordMessages(const Bytes& image, size_t index);

// The record 00 04 AA BB 9B FE, alone in a kit.
extern const Bytes ONE_RECORD;

// The port events of a log ("in 0 open", ...), without other notes.
Events portEvents(const SimLog& log);

// Checks a run's account (the text of update-log.txt) against the run: one
// account, from its opening line to its end; its console lines, joined, are
// exactly `console`; and its attempts account for every message on the
// wire, in order: each identify request, and each record attempt's chunks
// of the kit's bytes at the place and size it names. A message sent after
// its send was reported failed (a stalled send's, as the port closes) may
// follow at the end. Without `wire` (a run whose wire is not seen), the
// attempts go unchecked. "" when all holds; otherwise the first thing that
// does not.
std::string checkAccount(const std::string& log, const std::string& console, const Bytes& kit,
                         const Messages* wire);

// What a run in real time holds to however the machine delays it (its
// waits may end before a reply that comes late, and a record go again):
// the console without its progress lines, the percentages those showed in
// the order first shown, and the messages sent in the order first sent.
struct RunShape {
    std::string text;
    std::vector<std::string> percents;
    Messages firstSent;
    bool operator==(const RunShape& o) const {
        return text == o.text && percents == o.percents && firstSent == o.firstSent;
    }
};
RunShape shapeOf(const std::string& console, const Messages& wire);

// Builds a script from the default one.
TestScript with(void (*change)(TestScript&));
