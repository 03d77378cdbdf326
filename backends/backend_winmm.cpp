// The Windows back end: the multimedia MIDI interface (WinMM), with its
// mechanics: the ports it lists, prepared headers, the wait for the driver
// to let go of a sent message, the receive buffers queued again from the
// input callback, and the stop, reset and unprepare a port needs before it
// closes.
//
// The input callback runs on the driver's thread. It joins the buffers it
// is handed into whole messages (sysex_joiner.h) and keeps them, in order,
// in a mailbox: the joiner, under one lock that the run's thread takes to
// take a message or to discard. The count and the code it reads are of one
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
#include "core/platform.h"
#include "core/run_log.h"
#include "core/text.h"

namespace {

constexpr DWORD UNPREPARE_RETRY_MS = 100;
constexpr int UNPREPARE_MAX_RETRIES = 50;  // a driver stuck longer is given up
constexpr int CLOSE_ATTEMPTS = 10;
// More than one, so that a reply finds a buffer while the one before it is
// being handed on and queued again.
constexpr int RECEIVE_BUFFERS = 2;

// --- which ports count ------------------------------------------------------

// Only devices count. A port's device interface (asked of WinMM with
// DRV_QUERYDEVICEINTERFACE) tells what it is: a USB device's
// (\\?\usb#...), or the MIDI service's stand-in for a device's
// kernel-streaming filter (\\?\swd#midisrv#midiu_ks_... or midiu_ksa_...,
// which the service gives a USB device's port when it cannot read the
// filter's path) counts. Every other interface is left out: the service's
// own software transports (loopbacks, app-to-app ports, network MIDI),
// other software devices, root-enumerated virtual MIDI drivers (virtual
// cables, network MIDI drivers), a PCI card, the GS synth. A port whose
// interface cannot be told (a failed query or an empty answer: older
// Windows, some drivers, Wine) counts, as all ports did before the
// interface could be asked.
constexpr char USB_DEVICE[] = "\\\\?\\usb#";
constexpr char SERVICE_DEVICE[] = "\\\\?\\swd#midisrv#";
const char* const SERVICE_DEVICE_STAND_INS[] = {"midiu_ks_", "midiu_ksa_"};

enum class PortKind { Unknown, Usb, ServiceStandIn, ServiceSoftware, Other };

PortKind kindOfInterface(const std::string& name) {
    if (name.empty()) return PortKind::Unknown;
    if (startsWithIgnoringCase(name.c_str(), USB_DEVICE)) return PortKind::Usb;
    if (!startsWithIgnoringCase(name.c_str(), SERVICE_DEVICE)) return PortKind::Other;
    const char* instance = name.c_str() + sizeof SERVICE_DEVICE - 1;
    for (const char* standIn : SERVICE_DEVICE_STAND_INS)
        if (startsWithIgnoringCase(instance, standIn)) return PortKind::ServiceStandIn;
    return PortKind::ServiceSoftware;
}

bool kindCounts(PortKind kind) {
    return kind == PortKind::Unknown || kind == PortKind::Usb || kind == PortKind::ServiceStandIn;
}

const char* kindText(PortKind kind) {
    switch (kind) {
    case PortKind::Unknown: return "counts (its interface cannot be told)";
    case PortKind::Usb: return "counts (a USB device)";
    case PortKind::ServiceStandIn: return "counts (the MIDI service's stand-in for a device)";
    case PortKind::ServiceSoftware: return "left out (a software port of the MIDI service)";
    case PortKind::Other: break;
    }
    return "left out (not a USB device: a virtual or other driver's port)";
}

// Port `index`'s device interface (the handle is the port's index), in
// ASCII (any other character as '?'); empty where it cannot be told.
template <typename Handle>
std::string portInterface(MMRESULT(WINAPI* message)(Handle, UINT, DWORD_PTR, DWORD_PTR), UINT index) {
    auto port = reinterpret_cast<Handle>(static_cast<UINT_PTR>(index));
    ULONG bytes = 0;
    if (message(port, DRV_QUERYDEVICEINTERFACESIZE, reinterpret_cast<DWORD_PTR>(&bytes), 0) != MMSYSERR_NOERROR ||
        bytes < 2 * sizeof(wchar_t) || bytes > 4096)
        return "";
    std::vector<wchar_t> name(bytes / sizeof(wchar_t) + 1, 0);
    if (message(port, DRV_QUERYDEVICEINTERFACE, reinterpret_cast<DWORD_PTR>(name.data()), bytes) != MMSYSERR_NOERROR)
        return "";
    std::string ascii;
    for (size_t i = 0; i + 1 < name.size() && name[i] != 0; ++i) ascii += name[i] < 0x80 ? static_cast<char>(name[i]) : '?';
    return ascii;
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

// Lists the ports of one direction that count, and says in the run's
// account what each port is.
template <typename Handle, typename Caps>
void listPorts(const char* direction, UINT count, MMRESULT(WINAPI* message)(Handle, UINT, DWORD_PTR, DWORD_PTR),
               MMRESULT(WINAPI* caps)(UINT_PTR, Caps*, UINT), std::vector<UINT>& counted, int& serviceSeen,
               int& interfacesSeen) {
    for (UINT i = 0; i < count; ++i) {
        std::string interfaceName = portInterface(message, i);
        PortKind kind = kindOfInterface(interfaceName);
        if (kind != PortKind::Unknown) ++interfacesSeen;
        if (startsWithIgnoringCase(interfaceName.c_str(), SERVICE_DEVICE)) ++serviceSeen;
        if (kindCounts(kind)) counted.push_back(i);
        Caps info;
        std::memset(&info, 0, sizeof info);
        caps(i, &info, sizeof info);
        info.szPname[sizeof info.szPname - 1] = 0;
        runLogLine("port %s %u \"%s\", interface %s: %s", direction, i, info.szPname,
                   interfaceName.empty() ? "unknown" : interfaceName.c_str(), kindText(kind));
    }
}

}  // namespace

void midiBackendListPorts() {
    ports = PortLists();
    int service = 0, told = 0;
    listPorts("in", midiInGetNumDevs(), midiInMessage, midiInGetDevCapsA, ports.inputs, service, told);
    listPorts("out", midiOutGetNumDevs(), midiOutMessage, midiOutGetDevCapsA, ports.outputs, service, told);
    if (service > 0) {
        runLogLine("WinMM is served by the Windows MIDI Services MIDI service (its ports' interfaces are the service's)");
    } else if (told > 0) {
        runLogLine("WinMM is served by the classic MIDI stack (no port's interface is the MIDI service's)");
    } else {
        runLogLine("WinMM's MIDI path cannot be told (no port tells its interface)");
    }
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

namespace {

MidiResult sendNow(const uint8_t* message, uint32_t length) {
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

}  // namespace

MidiResult midiBackendOutSend(const uint8_t* message, uint32_t length, uint32_t pauseMs) {
    MidiResult result = sendNow(message, length);
    if (pauseMs != 0) sleepAtLeast(pauseMs);
    return result;
}

void midiBackendOutClose() {
    midiOutClose(output.handle);
}

namespace {
bool mailboxHolds() {
    Locked locked;
    return input.mailbox.joiner.waiting != 0;
}
}  // namespace

// A Windows poll is a 1 ms sleep, whatever the timer's tick makes of it.
void midiBackendAwait() {
    if (!mailboxHolds()) sleepAtLeast(1);
}

uint32_t midiBackendTake(uint8_t* area, uint32_t room) {
    Locked locked;
    return sysexTakeWhole(input.mailbox.joiner, area, room);
}

// Under the one lock: a message the driver's thread completes meanwhile is
// either taken here or began after the discard.
uint32_t midiBackendDiscard(uint8_t* area, uint32_t room) {
    Locked locked;
    return sysexTakeOrDropUnfinished(input.mailbox.joiner, area, room);
}
