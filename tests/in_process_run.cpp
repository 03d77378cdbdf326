#include "tests/in_process_run.h"

#include "app/run.h"
#include "tests/console_capture.h"
#include "tests/test_support.h"

InProcessRun runInProcess(const TargetProfile& profile, const Bytes& kit, SimScript script,
                          const std::function<void(const std::function<int()>& run)>& during) {
    InProcessRun result;
    writeTextFile("Calvenor_Pro.kit", kitText(kit));
    bool measured = static_cast<bool>(during);
    script.onInputClose = [&result, measured] {
        result.flushedAtRelease = result.flushed;
        if (!measured) result.accountAtRelease = readFile("update-log.txt");
    };
    simBegin(script);
    // Room enough that the capture does not grow while the run goes (the
    // benchmark counts the run's allocations).
    result.console.reserve(1 << 20);
    result.flushed.reserve(1 << 20);
    consoleCaptureTo(&result.console, &result.flushed);
    auto run = [&result, &profile] { return result.exitCode = runUpdateWith(profile); };
    if (during) {
        during(run);
    } else {
        run();
    }
    consoleCaptureTo(nullptr);
    result.log = simLog();
    result.account = readFile("update-log.txt");
    return result;
}
