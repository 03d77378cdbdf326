// The Windows back end: the multimedia MIDI interface (WinMM), with its
// mechanics: the ports it lists, prepared headers, the wait for the driver
// to let go of a sent message, the receive buffers queued again from the
// input callback, and the stop, reset and unprepare a port needs before it
// closes.
//
// The input callback runs on the driver's thread. It joins the buffers it
// is handed into whole messages (sysex_joiner.h) and keeps the latest in a
// mailbox: the joiner, under one lock that the run's thread takes to read
// the mailbox or to discard. The count and the code it reads are of one
// message.
//
// Windows serves WinMM in two ways: the classic MIDI stack (Windows 10), and
// the Windows MIDI Services MIDI service (Windows 11 24H2 and later). The
// service offers its own software endpoints (loopbacks, app-to-app ports,
// network sessions) as ordinary ports; they are left out here, as the Linux
// build leaves out software sequencer ports.
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "backends/backend.h"
#include "backends/sysex_joiner.h"
#include "backends/waits.h"
#include "core/text.h"

namespace {

constexpr DWORD UNPREPARE_RETRY_MS = 100;
constexpr int UNPREPARE_MAX_RETRIES = 50;  // a driver stuck longer is given up
constexpr int CLOSE_ATTEMPTS = 10;
// More than one, so that a reply finds a buffer while the one before it is
// being handed on and queued again.
constexpr int RECEIVE_BUFFERS = 2;

// --- which ports count ------------------------------------------------------

// The instance names of the MIDI service's own software transports: the
// built-in loopbacks, the basic loopback, app-to-app ports and network MIDI.
const char* const SERVICE_SOFTWARE_INSTANCES[] = {"midiu_loop_", "midiu_bloop_", "midiu_apppub_",
                                                  "midiu_net2udp_"};

// A device interface (ASCII, in wide characters; any other character as
// '?') of the service's software device, as \\?\swd#midisrv#<instance>#{...},
// whose instance is a software transport's. A USB device's port gives its
// kernel-streaming filter instead.
constexpr char SERVICE_DEVICE[] = "\\\\?\\swd#midisrv#";

bool isServiceSoftwareInterface(const std::string& name) {
    if (!startsWithIgnoringCase(name.c_str(), SERVICE_DEVICE)) return false;
    const char* instance = name.c_str() + sizeof SERVICE_DEVICE - 1;
    for (const char* transport : SERVICE_SOFTWARE_INSTANCES)
        if (startsWithIgnoringCase(instance, transport)) return true;
    return false;
}

// Asks for port `index`'s device interface (the handle is the port's index).
// A port whose interface cannot be told (a failed query or an empty string,
// as on the classic stack of some drivers or older Windows) counts.
template <typename Handle>
bool isServiceSoftwarePort(MMRESULT(WINAPI* message)(Handle, UINT, DWORD_PTR, DWORD_PTR), UINT index) {
    auto port = reinterpret_cast<Handle>(static_cast<UINT_PTR>(index));
    ULONG bytes = 0;
    if (message(port, DRV_QUERYDEVICEINTERFACESIZE, reinterpret_cast<DWORD_PTR>(&bytes), 0) != MMSYSERR_NOERROR ||
        bytes < 2 * sizeof(wchar_t) || bytes > 4096)
        return false;
    std::vector<wchar_t> name(bytes / sizeof(wchar_t) + 1, 0);
    if (message(port, DRV_QUERYDEVICEINTERFACE, reinterpret_cast<DWORD_PTR>(name.data()), bytes) != MMSYSERR_NOERROR)
        return false;
    std::string ascii;
    for (size_t i = 0; i + 1 < name.size() && name[i] != 0; ++i) ascii += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    return isServiceSoftwareInterface(ascii);
}

// The WinMM indices of the ports that count, in WinMM's order.
struct PortLists {
    std::vector<UINT> inputs;
    std::vector<UINT> outputs;
} ports;

// --- input --------------------------------------------------------------------

// The joiner and its mailbox, shared by the driver's thread and the run's.
struct Mailbox {
    CRITICAL_SECTION lock;
    SysexJoiner joiner;
    Mailbox() { InitializeCriticalSection(&lock); }
};

struct Input {
    HMIDIIN handle = nullptr;
    MIDIHDR headers[RECEIVE_BUFFERS] = {};
    uint8_t buffers[RECEIVE_BUFFERS][MIDI_RECEIVE_BYTES] = {};
    std::atomic<bool> requeue{false};  // the callback queues each buffer again
    Mailbox mailbox;
};

struct Output {
    HMIDIOUT handle = nullptr;
    MIDIHDR header = {};
    bool stuck = false;  // the driver kept the last message after the give-up
};

Input input;
Output output;

struct Locked {
    Locked() { EnterCriticalSection(&input.mailbox.lock); }
    ~Locked() { LeaveCriticalSection(&input.mailbox.lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

MMRESULT queueReceiveBuffer(int which) {
    MIDIHDR& header = input.headers[which];
    std::memset(&header, 0, sizeof header);
    header.lpData = reinterpret_cast<LPSTR>(input.buffers[which]);
    header.dwBufferLength = MIDI_RECEIVE_BYTES;
    MMRESULT result = midiInPrepareHeader(input.handle, &header, sizeof header);
    if (result != MMSYSERR_NOERROR) return result;
    return midiInAddBuffer(input.handle, &header, sizeof header);
}

// A completed buffer: a whole message, or a part of one that the driver
// handed back because the buffer was full (it goes on in the next buffer).
// A buffer handed back empty (by a reset, or by the MIDI service when a
// status byte cuts a message at a buffer's end) or short of a message's end
// ends the message it continued: that message broke off.
void takeCompletedBuffer(const MIDIHDR& header) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(header.lpData);
    DWORD n = header.dwBytesRecorded;
    Locked locked;
    SysexJoiner& joiner = input.mailbox.joiner;
    if (n > 0) sysexJoinPiece(joiner, bytes, n);
    if (n < header.dwBufferLength) sysexDropUnfinished(joiner);
}

// Short messages and notices are ignored. A buffer handed back with an error
// (a message cut by a status byte) ends the message it held, and is queued
// again like any other, so that the next reply finds it.
void CALLBACK onWinmmInput(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message != MIM_LONGDATA && message != MIM_LONGERROR) return;
    auto* completed = reinterpret_cast<MIDIHDR*>(param1);
    if (message == MIM_LONGDATA) {
        takeCompletedBuffer(*completed);
    } else {
        Locked locked;
        sysexDropUnfinished(input.mailbox.joiner);
    }
    if (!input.requeue.load(std::memory_order_acquire)) return;
    for (int which = 0; which < RECEIVE_BUFFERS; ++which) {
        if (completed != &input.headers[which]) continue;
        midiInUnprepareHeader(input.handle, completed, sizeof *completed);
        queueReceiveBuffer(which);
    }
}

// Stops the port and takes its buffers back, so that it can close; a reply
// arriving meanwhile may still have queued a buffer, so the close is
// retried.
void closeInputPort() {
    input.requeue.store(false, std::memory_order_release);
    midiInStop(input.handle);
    for (int attempt = 0; attempt < CLOSE_ATTEMPTS; ++attempt) {
        midiInReset(input.handle);
        for (MIDIHDR& header : input.headers) midiInUnprepareHeader(input.handle, &header, sizeof header);
        if (midiInClose(input.handle) != MIDIERR_STILLPLAYING) break;
        sleepAtLeast(1);
    }
    Locked locked;
    sysexDiscard(input.mailbox.joiner);
}

}  // namespace

void midiBackendListPorts() {
    ports = PortLists();
    for (UINT i = 0, n = midiInGetNumDevs(); i < n; ++i)
        if (!isServiceSoftwarePort(midiInMessage, i)) ports.inputs.push_back(i);
    for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i)
        if (!isServiceSoftwarePort(midiOutMessage, i)) ports.outputs.push_back(i);
}

uint16_t midiBackendInCount() { return static_cast<uint16_t>(ports.inputs.size()); }
uint16_t midiBackendOutCount() { return static_cast<uint16_t>(ports.outputs.size()); }

// The name of a listed port, from its capabilities.
template <typename Caps>
MidiResult listedPortName(const std::vector<UINT>& listed, uint16_t index, MMRESULT(WINAPI* query)(UINT_PTR, Caps*, UINT),
                          char name[MIDI_PORT_NAME_CHARS]) {
    name[0] = 0;
    if (index >= listed.size()) return MMSYSERR_BADDEVICEID;
    Caps caps;
    std::memset(&caps, 0, sizeof caps);
    MMRESULT result = query(listed[index], &caps, sizeof caps);
    std::memcpy(name, caps.szPname, MIDI_PORT_NAME_CHARS);
    return result;
}

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    return listedPortName(ports.inputs, index, midiInGetDevCapsA, name);
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    return listedPortName(ports.outputs, index, midiOutGetDevCapsA, name);
}

// A port whose receive buffers cannot be prepared or queued would never
// hear the device: it counts as a port that does not open.
MidiResult midiBackendInOpen(uint16_t index) {
    if (index >= ports.inputs.size()) return MMSYSERR_BADDEVICEID;
    {
        Locked locked;
        sysexDiscard(input.mailbox.joiner);
    }
    MMRESULT result = midiInOpen(&input.handle, ports.inputs[index], reinterpret_cast<DWORD_PTR>(onWinmmInput), 0,
                                 CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) return result;
    for (int which = 0; which < RECEIVE_BUFFERS && result == MMSYSERR_NOERROR; ++which)
        result = queueReceiveBuffer(which);
    if (result != MMSYSERR_NOERROR) {
        closeInputPort();
        return result;
    }
    input.requeue.store(true, std::memory_order_release);
    return MMSYSERR_NOERROR;
}

MidiResult midiBackendInStart() { return midiInStart(input.handle); }

// A port does not close while a buffer is queued. Queuing stops first, so
// that the reset's hand-back does not queue anything again.
void midiBackendInClose() { closeInputPort(); }

MidiResult midiBackendOutOpen(uint16_t index) {
    if (index >= ports.outputs.size()) return MMSYSERR_BADDEVICEID;
    output.stuck = false;
    return midiOutOpen(&output.handle, ports.outputs[index], 0, 0, CALLBACK_NULL);
}

MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length) {
    // The driver still holds the previous message: its header is not ours
    // to use again.
    if (output.stuck) return MIDIERR_STILLPLAYING;
    MIDIHDR& header = output.header;
    std::memset(&header, 0, sizeof header);
    header.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(message));
    header.dwBufferLength = length;
    MMRESULT result = midiOutPrepareHeader(output.handle, &header, sizeof header);
    if (result != MMSYSERR_NOERROR) return result;
    result = midiOutLongMsg(output.handle, &header, sizeof header);
    if (result != MMSYSERR_NOERROR) {
        midiOutUnprepareHeader(output.handle, &header, sizeof header);
        return result;
    }
    // Wait for the driver to finish with the message, but not forever: a
    // driver that never lets go is given up and reported as a failed send.
    for (int retries = 0; midiOutUnprepareHeader(output.handle, &header, sizeof header) == MIDIERR_STILLPLAYING;
         ++retries) {
        if (retries == UNPREPARE_MAX_RETRIES) {
            midiOutReset(output.handle);
            if (midiOutUnprepareHeader(output.handle, &header, sizeof header) == MIDIERR_STILLPLAYING)
                output.stuck = true;
            return MIDIERR_STILLPLAYING;
        }
        sleepAtLeast(UNPREPARE_RETRY_MS);
    }
    return MMSYSERR_NOERROR;
}

void midiBackendOutClose() {
    midiOutClose(output.handle);
}

void midiBackendPacingSleep(uint32_t milliseconds) { sleepAtLeast(milliseconds); }

namespace {
uint32_t takeFromMailbox(uint8_t* area, uint32_t room) {
    Locked locked;
    return sysexTakeWhole(input.mailbox.joiner, area, room);
}
}  // namespace

// A Windows poll is a 1 ms sleep, whatever the timer's tick makes of it.
uint32_t midiBackendAwait(uint8_t* area, uint32_t room) {
    if (uint32_t size = takeFromMailbox(area, room)) return size;
    sleepAtLeast(1);
    return takeFromMailbox(area, room);
}

void midiBackendDiscard() {
    Locked locked;
    sysexDiscard(input.mailbox.joiner);
}
