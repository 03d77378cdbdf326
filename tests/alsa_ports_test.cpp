// The ALSA back end's choice of ports: which sequencer ports count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <alsa/asoundlib.h>

#include "backends/alsa_ports.h"

namespace {

constexpr unsigned READ = SND_SEQ_PORT_CAP_READ, WRITE = SND_SEQ_PORT_CAP_WRITE;
constexpr unsigned SUBS_READ = SND_SEQ_PORT_CAP_SUBS_READ, SUBS_WRITE = SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned DUPLEX = READ | WRITE | SUBS_READ | SUBS_WRITE | SND_SEQ_PORT_CAP_DUPLEX;
constexpr unsigned MIDI_GENERIC = SND_SEQ_PORT_TYPE_MIDI_GENERIC, SOFTWARE = SND_SEQ_PORT_TYPE_SOFTWARE;
constexpr unsigned HARDWARE = SND_SEQ_PORT_TYPE_HARDWARE, APPLICATION = SND_SEQ_PORT_TYPE_APPLICATION;
constexpr int OWN_CLIENT = 130;

const SeqPortInfo SYSTEM_TIMER = {0, 0, 0, READ | WRITE | SUBS_READ, "Timer"};
const SeqPortInfo SYSTEM_ANNOUNCE = {0, 1, 0, READ | SUBS_READ, "Announce"};
const SeqPortInfo MIDI_THROUGH = {14, 0, MIDI_GENERIC | SOFTWARE, DUPLEX, "Midi Through Port-0"};
const SeqPortInfo PIPEWIRE_SYSTEM = {128, 0, MIDI_GENERIC | APPLICATION, DUPLEX, "pipewire-system"};
const SeqPortInfo PIPEWIRE_OUT = {129, 0, MIDI_GENERIC | APPLICATION, READ | SUBS_READ, "PipeWire-RT-Event"};
const SeqPortInfo OWN_PORT = {OWN_CLIENT, 0, MIDI_GENERIC | APPLICATION | HARDWARE, DUPLEX, "update in"};

SeqPortInfo usbPort(int client, int port, const std::string& name) {
    return {client, port, MIDI_GENERIC | HARDWARE | SND_SEQ_PORT_TYPE_PORT, DUPLEX, name};
}

std::vector<std::string> names(const std::vector<SeqPortInfo>& ports) {
    std::vector<std::string> all;
    for (const auto& p : ports) all.push_back(std::to_string(p.client) + ":" + std::to_string(p.port) + " " + p.name);
    return all;
}

TEST(AlsaPorts, OnlyHardwarePortsCount) {
    const std::vector<SeqPortInfo> system = {SYSTEM_TIMER, SYSTEM_ANNOUNCE, MIDI_THROUGH, PIPEWIRE_SYSTEM,
                                             PIPEWIRE_OUT, OWN_PORT};
    struct Case {
        const char* name;
        std::vector<SeqPortInfo> extra;
        std::vector<std::string> inputs;
        std::vector<std::string> outputs;
    } cases[] = {
        {"Midi Through and the sound server only", {}, {}, {}},
        {"one USB device with one port",
         {usbPort(24, 0, "Calvenor Pro MIDI 1")},
         {"24:0 Calvenor Pro MIDI 1"},
         {"24:0 Calvenor Pro MIDI 1"}},
        {"one USB device with two ports",
         {usbPort(24, 0, "Calvenor Pro MIDI 1"), usbPort(24, 1, "Calvenor Pro MIDI 2")},
         {"24:0 Calvenor Pro MIDI 1", "24:1 Calvenor Pro MIDI 2"},
         {"24:0 Calvenor Pro MIDI 1", "24:1 Calvenor Pro MIDI 2"}},
        {"two devices, one of them output only, the name cut to 31 characters",
         {usbPort(24, 0, "Calvenor Pro MIDI 1"),
          {28, 0, MIDI_GENERIC | HARDWARE, WRITE | SUBS_WRITE, "A Synthesizer With A Very Long Port Name"}},
         {"24:0 Calvenor Pro MIDI 1"},
         {"24:0 Calvenor Pro MIDI 1", "28:0 A Synthesizer With A Very Long "}},
        {"a hardware port we may read but not subscribe to",
         {{32, 0, MIDI_GENERIC | HARDWARE, READ | WRITE, "Odd Port"}}, {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<SeqPortInfo> all = system;
        all.insert(all.end(), c.extra.begin(), c.extra.end());
        std::vector<SeqPortInfo> inputs, outputs;
        classifySeqPorts(all, OWN_CLIENT, inputs, outputs);
        EXPECT_EQ(names(inputs), c.inputs) << c.name;
        EXPECT_EQ(names(outputs), c.outputs) << c.name;
    }
}

}  // namespace
