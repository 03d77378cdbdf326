// Whole update runs against the emulated device: the exact console
// transcript, every message on the wire, the port events and the pacing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/sha256.h"
#include "tests/console_capture.h"
#include "app/run.h"
#include "kit/kit.h"
#include "tools/kit_writer.h"
#include "midi/midi_link.h"
#include "sim/emulation.h"
#include "tests/in_process_run.h"
#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace {

using RunResult = InProcessRun;

// A run in the current folder, whatever it already holds.
RunResult runHere(const Scenario& s) {
    RunResult result = runInProcess(*s.profile, s.kit, s.script);
    EXPECT_EQ(result.exitCode, 0) << s.name;
    return result;
}

RunResult runScenario(const Scenario& s) {
    WorkingFolder folder;
    return runHere(s);
}

// Whether the run ends by releasing both ports, input first.
bool releasesBothPorts(const Events& events) {
    size_t n = events.size();
    auto isClose = [](const std::string& e, const char* direction) {
        return startsWith(e, direction) && endsWith(e, " close");
    };
    return n >= 2 && isClose(events[n - 2], "in ") && isClose(events[n - 1], "out ");
}

void expectScenario(const Scenario& s, const RunResult& run, bool checkSleeps) {
    std::string kitLine = sayText(Say::KitOpen, "Calvenor_Pro.kit");
    std::string beforePause = s.profile->banner + kitLine + s.transcript;
    EXPECT_EQ(run.console, beforePause + sayText(Say::PressAnyKey) + "\n");
    EXPECT_EQ(run.flushed, run.console);
    // The outcome reaches a pipe before the release, which can be slow.
    if (releasesBothPorts(s.events)) {
        EXPECT_EQ(run.flushedAtRelease, beforePause);
        // ... and the whole account up to the release is on disk.
        size_t released = run.account.find("] ports released\n");
        ASSERT_NE(released, std::string::npos);
        EXPECT_EQ(run.accountAtRelease, run.account.substr(0, run.account.rfind('\n', released) + 1));
    }
    EXPECT_EQ(run.log.sent, s.wire);
    EXPECT_EQ(portEvents(run.log), s.events);
    if (checkSleeps && !s.sleepsBefore.empty()) {
        EXPECT_EQ(run.log.sleepsBefore, s.sleepsBefore);
    }
    EXPECT_EQ(run.log.deviceErrors, s.deviceErrors);
    EXPECT_EQ(checkAccount(run.account, beforePause, s.kit, &run.log.sent), "");
    size_t at = 0;
    for (const std::string& line : s.accountLines) {
        at = run.account.find("] " + line + "\n", at);
        EXPECT_NE(at, std::string::npos) << "the account lacks, in its place: " << line << "\n" << run.account;
        if (at == std::string::npos) break;
        ++at;
    }
}

TEST(Scenario, WholeRunsAgainstTheEmulatedDevice) {
    for (const Scenario& s : scenarios()) {
        if (s.windowsOnly) continue;
        SCOPED_TRACE(s.name);
        expectScenario(s, runScenario(s), true);
    }
}

// The same runs with the device's replies falling due in real time while
// the run sleeps and polls for real, as from a driver. A loaded machine may
// end a wait before a reply that is due, and the record goes again: these
// runs hold to the order of things and their counts (shapeOf), the port
// events and an account true to the run; the exact pacing is the host
// clock's above, and the time the benchmark's.
TEST(Scenario, WholeRunsWithRepliesInRealTime) {
    for (Scenario s : scenarios()) {
        if (s.hostClockOnly || s.windowsOnly) continue;
        SCOPED_TRACE(s.name);
        s.script.wallClock = true;
        s.script.realTime = true;
        s.script.wallPollUs = 1000;  // short polls keep the unanswered waits short
        RunResult run = runScenario(s);
        std::string beforePause =
            std::string(s.profile->banner) + sayText(Say::KitOpen, "Calvenor_Pro.kit") + s.transcript;
        EXPECT_EQ(shapeOf(run.console, run.log.sent), shapeOf(beforePause + sayText(Say::PressAnyKey) + "\n", s.wire));
        EXPECT_EQ(run.flushed, run.console);
        EXPECT_EQ(portEvents(run.log), s.events);
        for (const std::string& error : s.deviceErrors)
            EXPECT_NE(std::find(run.log.deviceErrors.begin(), run.log.deviceErrors.end(), error), run.log.deviceErrors.end());
        EXPECT_EQ(checkAccount(run.account, run.console.substr(0, run.console.rfind("Press any key")), s.kit, &run.log.sent),
                  "");
    }
}

size_t accounts(const std::string& log) {
    size_t n = 0;
    for (size_t at = log.find("======== update: one run"); at != std::string::npos;
         at = log.find("======== update: one run", at + 1))
        ++n;
    return n;
}

// The account's header, and its life beside the kit: appended run after
// run, renamed once it has grown past 1 MiB, and never in the run's way.
TEST(RunAccount, HeaderAppendRotationAndAFolderThatTakesNoLog) {
    const Scenario one = scenarios().at(10);
    ASSERT_EQ(one.name, "one record, acknowledged");
    WorkingFolder folder;
    RunResult first = runHere(one);
    EXPECT_NE(first.account.find("] program: update 0.1.0, standard profile (device id 0x48)\n"), std::string::npos);
    EXPECT_NE(first.account.find("] system: "), std::string::npos);
    EXPECT_NE(first.account.find("] started 20"), std::string::npos);
    EXPECT_NE(first.account.find("] kit: Calvenor_Pro.kit, " + std::to_string(kitText(ONE_RECORD).size()) +
                                 " bytes, 6 values, 1 records, SHA-256 " + sha256Hex(kitText(ONE_RECORD)) + "\n"),
              std::string::npos)
        << first.account;
    EXPECT_NE(first.account.find("] received: F0 48 F7\n"), std::string::npos);
    EXPECT_NE(first.account.find("] record 1 acknowledged\n"), std::string::npos);

    // A second run appends its own account.
    runHere(one);
    std::string both = readFile("update-log.txt");
    EXPECT_EQ(accounts(both), 2u);
    EXPECT_EQ(both.compare(0, first.account.size(), first.account), 0);

    // Past 1 MiB: renamed, one generation, and a fresh log begun.
    std::string big = both + std::string(1 << 20, 'x') + "\n";
    ASSERT_TRUE(writeTextFile("update-log.txt", big));
    ASSERT_TRUE(writeTextFile("update-log.old.txt", "the generation before"));
    RunResult rotated = runHere(one);
    EXPECT_EQ(readFile("update-log.old.txt"), big);
    EXPECT_EQ(accounts(rotated.account), 1u);
    EXPECT_EQ(checkAccount(rotated.account, rotated.console.substr(0, rotated.console.rfind("Press any key")),
                           one.kit, &rotated.log.sent),
              "");

    // At exactly 1 MiB it is not past it: appended to.
    std::string full(1 << 20, 'y');
    ASSERT_TRUE(writeTextFile("update-log.txt", full));
    runHere(one);
    std::string appended = readFile("update-log.txt");
    EXPECT_EQ(appended.compare(0, full.size(), full), 0);
    EXPECT_EQ(accounts(appended), 1u);
    EXPECT_EQ(readFile("update-log.old.txt"), big);

    // Where the log cannot be written, the run is the same run.
    WorkingFolder unwritable;
    makeFolder("update-log.txt");
    RunResult without = runHere(one);
    EXPECT_EQ(without.console, first.console);
    EXPECT_EQ(without.log.sent, first.log.sent);
}

}  // namespace
