// Which of the browser's MIDI ports count, kept free of the browser so
// that it can be tested: the operating systems' own software ports are
// left out by name, as the browser shows them (Windows' MIDI service's
// loopbacks, macOS's IAC Driver buses and network session, Linux's MIDI
// through port). Ports named "Microsoft..." still count: the link
// announces and passes over them, as on Windows.
#pragma once

#include "core/text.h"

inline bool isSystemSoftwarePortName(const char* name) {
    static const char* const SOFTWARE[] = {"Default App Loopback", "Default Basic App Loopback", "IAC Driver",
                                           "Network Session", "Midi Through"};
    for (const char* prefix : SOFTWARE)
        if (startsWithIgnoringCase(name, prefix)) return true;
    return false;
}
