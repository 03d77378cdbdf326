// The Linux back end: the ALSA sequencer.
//
// Ports are the sequencer's hardware ports (see alsa_ports.h). An input port
// is our own sequencer client and port subscribed from the device's port.
// It is read on the run's own thread, when the link awaits a reply, takes
// or discards what has arrived: the System Exclusive pieces are joined into
// whole messages there (sysex_joiner.h). What arrives meanwhile waits in
// the kernel, in an input pool sized for long replies; the client takes
// System Exclusive events alone, so clock, active sensing and notes never
// take its room.
// Output goes straight to the device's port: a send returns once the
// message is in the kernel's sequencer, which sends it on. Where the
// sequencer cannot be opened there are no ports, and ALSA's own error lines
// never reach the console.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "core/console.h"
#include "core/platform.h"
#include "core/run_log.h"
#include "backends/alsa_ports.h"
#include "backends/backend.h"
#include "backends/sysex_joiner.h"

namespace {

void silentErrors(const char*, int, const char*, int, const char*, ...) {}

std::vector<SeqPortInfo> inputPorts;
std::vector<SeqPortInfo> outputPorts;

snd_seq_t* openSequencer(int mode, int* error = nullptr) {
    snd_lib_error_set_handler(silentErrors);
    snd_seq_t* seq = nullptr;
    int opened = snd_seq_open(&seq, "default", mode, 0);
    if (error != nullptr) *error = opened < 0 ? opened : 0;
    if (opened < 0) return nullptr;
    snd_seq_set_client_name(seq, "update");
    return seq;
}

}  // namespace

void midiBackendListPorts() {
    inputPorts.clear();
    outputPorts.clear();
    int error = 0;
    snd_seq_t* seq = openSequencer(SND_SEQ_OPEN_DUPLEX, &error);
    if (seq == nullptr) {
        // A system without the sequencer has no MIDI ports, as a PC without
        // the device has none; one that refuses us is told apart.
        if (error != -ENOENT)
            consoleSay(Say::SequencerFails, snd_strerror(error));
        return;
    }
    std::vector<SeqPortInfo> all;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        int id = snd_seq_client_info_get_client(client);
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            all.push_back({id, snd_seq_port_info_get_port(port), snd_seq_port_info_get_type(port),
                           snd_seq_port_info_get_capability(port), snd_seq_port_info_get_name(port)});
        }
    }
    classifySeqPorts(all, snd_seq_client_id(seq), inputPorts, outputPorts);
    snd_seq_close(seq);
    auto listed = [](const std::vector<SeqPortInfo>& ports, const SeqPortInfo& p) {
        for (const SeqPortInfo& q : ports)
            if (q.client == p.client && q.port == p.port) return true;
        return false;
    };
    for (const SeqPortInfo& p : all) {
        bool in = listed(inputPorts, p), out = listed(outputPorts, p);
        runLogLine("sequencer port %d:%d \"%s\": %s", p.client, p.port, p.name.c_str(),
                   in && out ? "counts, input and output"
                   : in      ? "counts, input"
                   : out     ? "counts, output"
                             : "left out (not a hardware port we may use)");
    }
}

namespace {

// What one poll of a reply wait lasts at most: a Windows poll.
constexpr std::chrono::microseconds POLL_LENGTH{MIDI_POLL_US};

// --- input ------------------------------------------------------------------

// Room in the kernel for what arrives between two reads: a 5 000-byte
// reply takes about 180 cells of the sequencer's pool (the default is 200),
// and a burst of them may come besides.
constexpr size_t INPUT_POOL_CELLS = 2000;

struct Input {
    snd_seq_t* seq = nullptr;
    std::vector<pollfd> fds;
    SysexJoiner joiner;
} input;

// Takes every event the sequencer holds and joins the System Exclusive
// pieces.
void readPending() {
    if (input.seq == nullptr) return;
    for (;;) {
        snd_seq_event_t* event = nullptr;
        int result = snd_seq_event_input(input.seq, &event);
        if (result == -ENOSPC) {
            // The input pool overran: what did not fit is lost; what is left
            // still counts. The account says so, for it should never happen.
            runLogLine("the sequencer's input overran: messages were lost");
            continue;
        }
        if (result < 0) break;            // -EAGAIN: nothing more
        if (event != nullptr && event->type == SND_SEQ_EVENT_SYSEX)
            sysexJoinPiece(input.joiner, static_cast<const uint8_t*>(event->data.ext.ptr), event->data.ext.len);
    }
}

// A setting the sequencer refused: the run goes on with its default, and
// says so once on the error stream.
void noteRefused(const char* what, int result) {
    static bool told = false;
    if (result >= 0 || told) return;
    told = true;
    consoleNote("update: the MIDI sequencer refused %s (%s); going on with its default\n", what,
                snd_strerror(result));
}

// --- output ---------------------------------------------------------------

struct Output {
    snd_seq_t* seq = nullptr;
    int ownPort = -1;
    snd_seq_addr_t device{};
} output;

}  // namespace

uint16_t midiBackendInCount() { return static_cast<uint16_t>(inputPorts.size()); }
uint16_t midiBackendOutCount() { return static_cast<uint16_t>(outputPorts.size()); }

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    return portNameAt(inputPorts, index, name);
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    return portNameAt(outputPorts, index, name);
}

MidiResult midiBackendInOpen(uint16_t index) {
    if (index >= inputPorts.size()) return MIDI_BAD_PORT;
    if (input.seq != nullptr) return MIDI_ERROR;
    snd_seq_t* seq = openSequencer(SND_SEQ_OPEN_INPUT);
    if (seq == nullptr) return MIDI_ERROR;
    noteRefused("the System Exclusive event filter", snd_seq_set_client_event_filter(seq, SND_SEQ_EVENT_SYSEX));
    noteRefused("the larger input pool", snd_seq_set_client_pool_input(seq, INPUT_POOL_CELLS));
    int own = snd_seq_create_simple_port(seq, "update in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (own < 0 || snd_seq_connect_from(seq, own, inputPorts[index].client, inputPorts[index].port) < 0) {
        snd_seq_close(seq);
        return MIDI_ERROR;
    }
    snd_seq_nonblock(seq, 1);
    int count = snd_seq_poll_descriptors_count(seq, POLLIN);
    input.fds.assign(static_cast<size_t>(count > 0 ? count : 0), pollfd{});
    snd_seq_poll_descriptors(seq, input.fds.data(), static_cast<unsigned>(input.fds.size()), POLLIN);
    input.seq = seq;
    sysexDiscard(input.joiner);
    return MIDI_OK;
}

// The subscription already delivers; what arrives waits for the next read.
MidiResult midiBackendInStart() { return input.seq != nullptr ? MIDI_OK : MIDI_ERROR; }

void midiBackendInClose() {
    if (input.seq != nullptr) snd_seq_close(input.seq);
    input.seq = nullptr;
    input.fds.clear();
    sysexDiscard(input.joiner);
}

MidiResult midiBackendOutOpen(uint16_t index) {
    if (index >= outputPorts.size()) return MIDI_BAD_PORT;
    if (output.seq != nullptr) return MIDI_ERROR;
    snd_seq_t* seq = openSequencer(SND_SEQ_OPEN_OUTPUT);
    if (seq == nullptr) return MIDI_ERROR;
    int own = snd_seq_create_simple_port(seq, "update out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (own < 0 || snd_seq_connect_to(seq, own, outputPorts[index].client, outputPorts[index].port) < 0) {
        snd_seq_close(seq);
        return MIDI_ERROR;
    }
    output.seq = seq;
    output.ownPort = own;
    output.device.client = static_cast<unsigned char>(outputPorts[index].client);
    output.device.port = static_cast<unsigned char>(outputPorts[index].port);
    return MIDI_OK;
}

// Sent directly to the device's port and drained: when this returns the
// message is in the kernel's sequencer, which sends it on to the device.
namespace {

MidiResult sendNow(const uint8_t* message, uint32_t length) {
    if (output.seq == nullptr) return MIDI_ERROR;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, output.ownPort);
    snd_seq_ev_set_dest(&event, output.device.client, output.device.port);
    snd_seq_ev_set_direct(&event);
    snd_seq_ev_set_sysex(&event, length, const_cast<uint8_t*>(message));
    if (snd_seq_event_output_direct(output.seq, &event) < 0) return MIDI_ERROR;
    if (snd_seq_drain_output(output.seq) < 0) return MIDI_ERROR;
    return MIDI_OK;
}

}  // namespace

MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length, uint32_t pauseMs) {
    MidiResult result = sendNow(message, length);
    if (pauseMs != 0) sleepAtLeast(pauseMs);
    return result;
}

void midiBackendOutClose() {
    if (output.seq != nullptr) snd_seq_close(output.seq);
    output.seq = nullptr;
}

// Reads what the sequencer holds; until a message is whole, waits for more
// for what is left of the poll. A message that arrived before the call
// keeps the sequencer readable, so it is not missed.
void midiBackendAwait() {
    auto deadline = std::chrono::steady_clock::now() + POLL_LENGTH;
    while (input.seq != nullptr) {
        readPending();
        if (input.joiner.waiting != 0) return;
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        timespec wait = {0, static_cast<long>(left.count())};
        if (ppoll(input.fds.data(), input.fds.size(), &wait, nullptr) < 0 && errno != EINTR) break;
    }
    std::this_thread::sleep_until(deadline);  // no sequencer to wait on: a silent poll
}

uint32_t midiBackendTake(uint8_t* area, uint32_t room) {
    readPending();
    return sysexTakeWhole(input.joiner, area, room);
}

uint32_t midiBackendDiscard(uint8_t* area, uint32_t room) {
    readPending();
    return sysexTakeOrDropUnfinished(input.joiner, area, room);
}
