// The one way to run the whole program in a test's own process: the kit
// written into the current folder, the emulated device playing a script,
// the console captured, the account read back. The scenario table, the
// random devices and the benchmark run it so.
#pragma once

#include <functional>
#include <string>

#include "protocol/target_profile.h"
#include "tools/kit_writer.h"
#include "sim/emulation.h"

struct InProcessRun {
    int exitCode = -1;
    std::string console;           // all it printed, the pause's prompt included
    std::string flushed;           // what a pipe would have shown
    std::string flushedAtRelease;  // ... as the input port was released
    SimLog log;                    // what the emulated device saw
    std::string account;           // update-log.txt
    std::string accountAtRelease;  // ... as it was on disk as the input was released
};

// Runs the update for `profile` in the current folder with `kit` as
// Calvenor_Pro.kit. `during` wraps the run itself (for a measurement, which
// then counts the run's own work alone: the account is read only at the
// end); by default it just runs it.
InProcessRun runInProcess(const TargetProfile& profile, const Bytes& kit, SimScript script,
                          const std::function<void(const std::function<int()>& run)>& during = nullptr);
