// The Linux back end: the ALSA sequencer.
//
// Ports are the sequencer's hardware ports (see alsa_ports.h). An input port
// is our own sequencer client and port subscribed from the device's port,
// with a reader thread that joins System Exclusive pieces into messages and
// tells the receiver of each one.
// Output goes straight to the device's port and is drained before a send
// returns. Where the sequencer cannot be opened there are no ports, and
// ALSA's own error lines never reach the console.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/console.h"
#include "midi/alsa_ports.h"
#include "midi/backend.h"
#include "midi/waits.h"

namespace {

void silentErrors(const char*, int, const char*, int, const char*, ...) {}

std::vector<SeqPortInfo> inputPorts;
std::vector<SeqPortInfo> outputPorts;
bool portsListed = false;

snd_seq_t* openSequencer(int mode, int* error = nullptr) {
    snd_lib_error_set_handler(silentErrors);
    snd_seq_t* seq = nullptr;
    int opened = snd_seq_open(&seq, "default", mode, 0);
    if (error != nullptr) *error = opened < 0 ? opened : 0;
    if (opened < 0) return nullptr;
    snd_seq_set_client_name(seq, "update");
    return seq;
}

void listPorts() {
    if (portsListed) return;
    portsListed = true;
    int error = 0;
    snd_seq_t* seq = openSequencer(SND_SEQ_OPEN_DUPLEX, &error);
    if (seq == nullptr) {
        // A system without the sequencer has no MIDI ports, as a PC without
        // the device has none; one that refuses us is told apart.
        if (error != -ENOENT)
            consolePrint("Error: The MIDI sequencer /dev/snd/seq cannot be opened: %s\n", snd_strerror(error));
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
}

// --- input ----------------------------------------------------------------

struct Input {
    snd_seq_t* seq = nullptr;
    uint8_t* area = nullptr;
    uint32_t room = 0;
    MidiReceiver receiver = nullptr;
    void* context = nullptr;
    int stopReader = -1;  // an event the reader polls beside the sequencer
    std::thread reader;
    SysexJoiner joiner;
} input;

void deliver(const uint8_t* message, uint32_t size, void*) {
    uint32_t n = size < input.room ? size : input.room;
    std::memcpy(input.area, message, n);
    input.receiver(input.context, n);
}

// Sleeps until the sequencer has events or the reader is told to stop: an
// idle reader never wakes on its own.
void readEvents() {
    int count = snd_seq_poll_descriptors_count(input.seq, POLLIN);
    std::vector<pollfd> fds(static_cast<size_t>(count > 0 ? count : 0) + 1);
    snd_seq_poll_descriptors(input.seq, fds.data() + 1, static_cast<unsigned>(fds.size() - 1), POLLIN);
    fds[0] = {input.stopReader, POLLIN, 0};
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;  // no more replies: the run sees a silent device
        }
        if (fds[0].revents != 0) return;
        snd_seq_event_t* event = nullptr;
        while (snd_seq_event_input(input.seq, &event) >= 0 && event != nullptr) {
            if (event->type == SND_SEQ_EVENT_SYSEX) {
                joinSysexPiece(input.joiner, static_cast<const uint8_t*>(event->data.ext.ptr),
                               event->data.ext.len, deliver, nullptr);
            }
            if (snd_seq_event_input_pending(input.seq, 0) <= 0) break;
        }
    }
}

// --- output ---------------------------------------------------------------

struct Output {
    snd_seq_t* seq = nullptr;
    int ownPort = -1;
    snd_seq_addr_t device{};
} output;

}  // namespace

uint16_t midiBackendInCount() {
    listPorts();
    return static_cast<uint16_t>(inputPorts.size());
}

uint16_t midiBackendOutCount() {
    listPorts();
    return static_cast<uint16_t>(outputPorts.size());
}

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    listPorts();
    return portNameAt(inputPorts, index, name);
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    listPorts();
    return portNameAt(outputPorts, index, name);
}

MidiResult midiBackendInOpen(uint16_t index, uint8_t* area, uint32_t room, MidiReceiver receiver, void* context) {
    listPorts();
    if (index >= inputPorts.size()) return MIDI_BAD_PORT;
    if (input.seq != nullptr) return MIDI_ERROR;
    snd_seq_t* seq = openSequencer(SND_SEQ_OPEN_INPUT);
    if (seq == nullptr) return MIDI_ERROR;
    int own = snd_seq_create_simple_port(seq, "update in", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (own < 0 || snd_seq_connect_from(seq, own, inputPorts[index].client, inputPorts[index].port) < 0) {
        snd_seq_close(seq);
        return MIDI_ERROR;
    }
    snd_seq_nonblock(seq, 1);
    input.seq = seq;
    input.area = area;
    input.room = room;
    input.receiver = receiver;
    input.context = context;
    input.joiner = SysexJoiner();
    return MIDI_OK;
}

// The reader thread joins the System Exclusive pieces and tells the receiver.
MidiResult midiBackendInStart() {
    if (input.seq == nullptr) return MIDI_ERROR;
    if (!input.reader.joinable()) {
        input.stopReader = eventfd(0, EFD_CLOEXEC);
        if (input.stopReader < 0) return MIDI_ERROR;
        input.reader = std::thread(readEvents);
    }
    return MIDI_OK;
}

void midiBackendInClose() {
    if (input.reader.joinable()) {
        uint64_t one = 1;
        while (write(input.stopReader, &one, sizeof one) < 0 && errno == EINTR) {
        }
        input.reader.join();
        close(input.stopReader);
        input.stopReader = -1;
    }
    if (input.seq != nullptr) snd_seq_close(input.seq);
    input.seq = nullptr;
}

MidiResult midiBackendOutOpen(uint16_t index) {
    listPorts();
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

// Sent directly to the device's port and drained: the message has left
// when this returns.
MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length) {
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

void midiBackendOutClose() {
    if (output.seq != nullptr) snd_seq_close(output.seq);
    output.seq = nullptr;
}

void midiBackendSleep(uint32_t milliseconds) { pacingSleep(milliseconds); }

void midiBackendPollPause(const std::atomic<uint32_t>& published, uint32_t seen) {
    waitForMessage(published, seen, LINUX_POLL_US);
}
