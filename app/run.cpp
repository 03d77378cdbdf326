// The update run: the phases in their fixed order, then the port release and
// the pause. Every path ends with exit code 0.
#include "app/run.h"

#include <memory>
#include <string>

#include "core/console.h"
#include "app/keep_awake.h"
#include "kit/kit.h"
#include "midi/midi_link.h"
#include "protocol/update_protocol.h"

int runUpdateWith(const TargetProfile& profile) {
    std::string kitPath;
    uint8_t deviceId = 0;
    auto image = std::make_unique<KitImage>();
    image->count = 0;

    consolePrintFormat(profile.banner);

    bool kitReady = findKitFile(kitPath) == Outcome::GoOn;
    if (kitReady) deviceId = profile.deviceId;  // the kit's name is accepted
    kitReady = kitReady && loadKitImage(kitPath, *image) == Outcome::GoOn &&
               validateKitImage(*image) == Outcome::GoOn;
    if (kitReady) {
        uint16_t outputStart = 0;
        bool awake = false;
        if (probeMidiDevices(outputStart) == Outcome::GoOn) {
            if (openMidiIn(0) != 0) {
                consolePrint("Error: The MIDI In of device is missing!\n\n");
            } else if (openMidiOut(outputStart) != 0) {
                consolePrint("Error: The MIDI Out of device is missing!\n\n");
            } else {
                // A computer that sleeps mid-update leaves the device half-written.
                keepSystemAwake();
                awake = true;
                if (identifyTarget(profile, deviceId) == Outcome::GoOn) transferImage(*image);
            }
        }
        // The outcome is on the console before the release, which can take
        // seconds on a device that has stopped reading.
        consoleFlush();
        closeMidiIn();
        closeMidiOut();
        if (awake) allowSystemSleep();
    }

    consolePause();
    return 0;
}
