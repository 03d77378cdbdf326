// Whole update runs against the emulated device: the exact console
// transcript, every message on the wire, the port events and the pacing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/console.h"
#include "app/run.h"
#include "kit/kit_writer.h"
#include "midi/midi_link.h"
#include "midi/sim_device.h"
#include "protocol/wire.h"
#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace {

struct RunResult {
    std::string console;
    SimLog log;
};

RunResult runScenario(const Scenario& s) {
    TempFolder folder;
    EXPECT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), kitText(s.kit)));
    char previous[4096];
    EXPECT_NE(getcwd(previous, sizeof previous), nullptr);
    EXPECT_EQ(chdir(folder.path.c_str()), 0);

    midiLink.replyCount.store(0);  // as at the start of a process
    simBegin(s.script);
    RunResult result;
    consoleCaptureTo(&result.console);
    int exitCode = runUpdateWith(*s.profile);
    consoleCaptureTo(nullptr);
    result.log = simLog();

    EXPECT_EQ(chdir(previous), 0);
    EXPECT_EQ(exitCode, 0) << s.name;
    return result;
}


void expectScenario(const Scenario& s, const RunResult& run, bool checkSleeps) {
    std::string kitLine = "OK: File 'Calvenor_Pro.kit' is open.\n";
    EXPECT_EQ(run.console, s.profile->banner + kitLine + s.transcript + "Press any key to continue . . . \n");
    EXPECT_EQ(run.log.sent, s.wire);
    EXPECT_EQ(portEvents(run.log), s.events);
    if (checkSleeps && !s.sleepsBefore.empty()) {
        EXPECT_EQ(run.log.sleepsBefore, s.sleepsBefore);
    }
    EXPECT_EQ(run.log.deviceErrors, s.deviceErrors);
}

TEST(Scenario, WholeRunsAgainstTheEmulatedDevice) {
    for (const Scenario& s : scenarios()) {
        SCOPED_TRACE(s.name);
        expectScenario(s, runScenario(s), true);
    }
}

// The same runs with the device's replies arriving on the delivering
// thread's own time while the run sleeps for real, as from a driver: the
// callback and the run then truly meet (which the thread sanitizer build
// watches).
TEST(Scenario, WholeRunsWithRepliesInRealTime) {
    for (Scenario s : scenarios()) {
        if (s.hostClockOnly) continue;
        SCOPED_TRACE(s.name);
        s.script.wallClock = true;
        s.script.realTime = true;
        s.script.wallPollUs = 1000;  // short polls keep the unanswered waits short
        expectScenario(s, runScenario(s), false);
    }
}

TEST(Scenario, PacingOfAnUnansweredRecord) {
    // 19 unanswered identify waits are not involved here: one record that
    // is never answered costs, per attempt, 1 ms after its chunk and 50 polls.
    Scenario s{"never answered", ONE_RECORD, with([](SimScript& sc) { sc.recordOtherwise = simSilence(); }), "", {}, {}};
    RunResult run = runScenario(s);
    EXPECT_EQ(run.log.sleeps, 2u + 19u * 51u + 51u);
    EXPECT_EQ(run.log.sleptMs, run.log.sleeps);
}

TEST(Scenario, TheSlowDriverIsWaitedForInSteps) {
    Scenario s{"slow driver", ONE_RECORD, with([](SimScript& sc) { sc.stillPlaying = 3; }), "", {}, {}};
    RunResult run = runScenario(s);
    // Two messages, each waited for three times 100 ms, and the 1 ms after the chunk.
    EXPECT_EQ(run.log.sleptMs, 601u);
}

}  // namespace
