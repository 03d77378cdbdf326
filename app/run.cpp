// The update run: the phases in their fixed order, then the port release and
// the pause. Every path ends with exit code 0. The run's account
// (core/run_log.h) is begun before the banner and ended before the pause.
#include "app/run.h"

#include <memory>
#include <string>

#include "core/console.h"
#include "core/run_log.h"
#include "core/platform.h"
#include "kit/kit.h"
#include "midi/midi_link.h"
#include "protocol/update_protocol.h"

#ifndef UPDATE_VERSION
#error "UPDATE_VERSION must be defined by the build"
#endif

namespace {

void beginAccount(const TargetProfile& profile) {
    runLogBegin();
    char text[256];
    describeLocalTime(text, sizeof text);
    runLogLine("started %s", text);
    bool gd32 = profile.deviceId == GD32_PROFILE.deviceId;
    runLogLine("program: %s %s, %s profile (device id 0x%02X)", gd32 ? "update-gd32" : "update", UPDATE_VERSION,
               gd32 ? "GD32" : "standard", profile.deviceId);
    describeSystem(text, sizeof text);
    runLogLine("system: %s", text);
}

// The kit as the account tells it: its name, size, records and SHA-256, of
// the bytes the run read.
void accountOfKit(const std::string& path, const KitImage& image, const KitFileFacts& facts, bool valid) {
    if (!facts.opened) {
        runLogLine("kit: %s, cannot be opened", path.c_str());
    } else if (valid) {
        runLogLine("kit: %s, %llu bytes, %u values, %lu records, SHA-256 %s", path.c_str(), facts.bytes,
                   static_cast<unsigned>(image.count), static_cast<unsigned long>(kitRecordCount(image)), facts.sha256);
    } else {
        runLogLine("kit: %s, %llu bytes read, refused, SHA-256 %s", path.c_str(), facts.bytes, facts.sha256);
    }
}

}  // namespace

int runUpdateWith(const TargetProfile& profile, RunVerdict* verdict) {
    RunVerdict end = RunVerdict::Untouched;
    std::string kitPath;
    uint8_t deviceId = 0;
    auto image = std::make_unique<KitImage>();
    image->count = 0;

    beginAccount(profile);
    consoleBanner(profile.banner);

    KitFileFacts facts;
    bool kitFound = findKitFile(kitPath) == Outcome::GoOn;
    if (kitFound) deviceId = profile.deviceId;  // the kit's name is accepted
    bool kitOpened = kitFound && loadKitImage(kitPath, *image, facts) == Outcome::GoOn;
    bool kitReady = kitOpened && validateKitImage(*image) == Outcome::GoOn;
    if (kitFound) accountOfKit(kitPath, *image, facts, kitReady);
    if (!kitReady) runLogLine("outcome: stopped in the kit phase; no MIDI port touched");
    if (kitReady) {
        uint16_t outputStart = 0;
        bool awake = false;
        if (probeMidiDevices(outputStart) != Outcome::GoOn) {
            runLogLine("outcome: stopped at the device check");
        } else if (openMidiIn(0) != 0) {
            consoleSay(Say::InMissing);
            runLogLine("outcome: no input port opened");
        } else if (openMidiOut(outputStart) != 0) {
            consoleSay(Say::OutMissing);
            runLogLine("outcome: no output port opened");
        } else {
            // A computer that sleeps mid-update leaves the device half-written.
            keepSystemAwake();
            awake = true;
            if (identifyTarget(profile, deviceId) == Outcome::GoOn) {
                TransferEnd transfer = transferImage(*image);
                end = transfer == TransferEnd::Updated    ? RunVerdict::Updated
                      : transfer == TransferEnd::Restarts ? RunVerdict::Restarts
                                                          : RunVerdict::Unfinished;
            }
        }
        // The outcome is on the console and in the account before the
        // release, which can take seconds on a device that has stopped
        // reading.
        consoleFlush();
        runLogFlush();
        closeMidiIn();
        closeMidiOut();
        runLogLine("ports released");
        if (awake) allowSystemSleep();
    }

    runLogLine("the pause");
    runLogEnd();
    consolePause();
    if (verdict != nullptr) *verdict = end;
    return 0;
}
