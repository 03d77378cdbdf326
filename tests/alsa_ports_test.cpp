// The ALSA back end's decisions: which sequencer ports count, and how
// System Exclusive pieces join into messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/alsa_ports.h"

namespace {

// Sequencer bits as the ALSA interface defines them.
constexpr unsigned READ = 1u << 0, WRITE = 1u << 1, SUBS_READ = 1u << 5, SUBS_WRITE = 1u << 6;
constexpr unsigned DUPLEX = READ | WRITE | SUBS_READ | SUBS_WRITE | (1u << 4);
constexpr unsigned MIDI_GENERIC = 1u << 1, SOFTWARE = 1u << 17, HARDWARE = 1u << 16, APPLICATION = 1u << 20;
constexpr int OWN_CLIENT = 130;

const SeqPortInfo SYSTEM_TIMER = {0, 0, 0, READ | WRITE | SUBS_READ, "Timer"};
const SeqPortInfo SYSTEM_ANNOUNCE = {0, 1, 0, READ | SUBS_READ, "Announce"};
const SeqPortInfo MIDI_THROUGH = {14, 0, MIDI_GENERIC | SOFTWARE, DUPLEX, "Midi Through Port-0"};
const SeqPortInfo PIPEWIRE_SYSTEM = {128, 0, MIDI_GENERIC | APPLICATION, DUPLEX, "pipewire-system"};
const SeqPortInfo PIPEWIRE_OUT = {129, 0, MIDI_GENERIC | APPLICATION, READ | SUBS_READ, "PipeWire-RT-Event"};
const SeqPortInfo OWN_PORT = {OWN_CLIENT, 0, MIDI_GENERIC | APPLICATION | HARDWARE, DUPLEX, "update in"};

SeqPortInfo usbPort(int client, int port, const std::string& name) {
    return {client, port, MIDI_GENERIC | HARDWARE | (1u << 19), DUPLEX, name};
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

void collect(const uint8_t* message, uint32_t size, void* context) {
    static_cast<std::vector<std::vector<uint8_t>>*>(context)->emplace_back(message, message + size);
}

// Into an area of the link's 200 bytes.
std::vector<std::vector<uint8_t>> join(const std::vector<std::vector<uint8_t>>& pieces) {
    uint8_t area[200];
    SysexJoiner joiner{area, sizeof area};
    std::vector<std::vector<uint8_t>> messages;
    for (const auto& piece : pieces) joinSysexPiece(joiner, piece.data(), piece.size(), collect, &messages);
    return messages;
}

std::vector<uint8_t> sysex(size_t dataBytes, uint8_t fill) {
    std::vector<uint8_t> m(dataBytes + 2, fill);
    m.front() = 0xF0;
    m.back() = 0xF7;
    return m;
}

TEST(AlsaSysex, PiecesJoinIntoWholeMessages) {
    // A 300-byte message arrives in pieces of 256 and 44 bytes.
    std::vector<uint8_t> longMessage = sysex(298, 0x11);
    std::vector<uint8_t> head(longMessage.begin(), longMessage.begin() + 256);
    std::vector<uint8_t> tail(longMessage.begin() + 256, longMessage.end());
    auto joined = join({head, tail});
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0], std::vector<uint8_t>(longMessage.begin(), longMessage.begin() + 200));

    // A 150-byte message split at 100 bytes comes whole.
    std::vector<uint8_t> medium = sysex(148, 0x22);
    joined = join({{medium.begin(), medium.begin() + 100}, {medium.begin() + 100, medium.end()}});
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0], medium);
}

TEST(AlsaSysex, MessagesBackToBackAndStrayBytes) {
    auto joined = join({{0xF0, 0x1A, 0xF7, 0xF0, 0x20, 0xF7}, {0xF0}, {0x77, 0xF7}});
    EXPECT_EQ(joined, (std::vector<std::vector<uint8_t>>{{0xF0, 0x1A, 0xF7}, {0xF0, 0x20, 0xF7}, {0xF0, 0x77, 0xF7}}));

    // Bytes without a 0xF0 before them belong to no message.
    EXPECT_TRUE(join({{0x1A, 0xF7}}).empty());
    // A real-time byte inside a message is no part of it; another status byte breaks it.
    EXPECT_EQ(join({{0xF0, 0x1A, 0xF8, 0xF7}}), (std::vector<std::vector<uint8_t>>{{0xF0, 0x1A, 0xF7}}));
    EXPECT_TRUE(join({{0xF0, 0x1A, 0x90, 0xF7}}).empty());
    // A new 0xF0 starts over.
    EXPECT_EQ(join({{0xF0, 0x01, 0xF0, 0x1A, 0xF7}}), (std::vector<std::vector<uint8_t>>{{0xF0, 0x1A, 0xF7}}));
}

}  // namespace
