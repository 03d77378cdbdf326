// Which of the browser's ports count: the systems' own software ports are
// left out by name, in any letter case; devices, and "Microsoft..." ports
// (which the link passes over), count.
#include <gtest/gtest.h>

#include "backends/webmidi_ports.h"

namespace {

TEST(WebMidiPorts, TheSystemsOwnSoftwarePortsAreLeftOut) {
    const struct {
        const char* name;
        bool leftOut;
    } cases[] = {
        {"Default App Loopback (A)", true}, {"Default App Loopback (B)", true},
        {"Default Basic App Loopback", true}, {"IAC Driver Bus 1", true},
        {"Network Session 1", true},        {"Midi Through Port-0", true},
        {"MIDI THROUGH Port-0", true},      {"Calvenor Pro", false},
        {"Calvenor Pro MIDI 1", false},     {"Microsoft GS Wavetable Synth", false},
        {"My Network Session", false},      {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isSystemSoftwarePortName(c.name), c.leftOut) << c.name;
}

}  // namespace
