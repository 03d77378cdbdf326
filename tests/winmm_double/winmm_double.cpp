// A stand-in for Windows' winmm.dll, for testing the Windows executables
// under Wine: placed next to an executable (with WINEDLLOVERRIDES=winmm=n,b)
// it takes the place of the system's MIDI ports. It behaves as WinMM does:
// header and capability sizes are checked, headers must be prepared, a
// queued buffer keeps a port from closing, a reset hands queued buffers
// back, each port answers the query for its device interface, and input
// comes on a driver thread of its own, which takes each of the emulated
// device's messages as it arrives. Behind it is the emulated device of
// the sim back end, running on a wall clock.
//
// It serves WinMM in either of Windows' two ways:
// - the classic stack (Windows 10): each message from the device goes into
//   the queued buffers in turn (one longer than a buffer goes on in the
//   next) as MIM_LONGDATA; a sent message stays "still playing" while the
//   driver holds it, and a driver can be made slow to let go, or stuck;
// - the MIDI service (Windows 11, `servicePath`): the device's bytes are
//   parsed as the service parses them: a status byte inside a System
//   Exclusive message cuts it (MIM_LONGERROR; MIM_LONGDATA with an empty
//   buffer where the cut falls at a buffer's end), a full buffer is handed back
//   without F7 and the message goes on in the next, an F0 that finds no
//   buffer is dropped, short messages come as MIM_DATA; a send is
//   synchronous (done when it returns, never in the queue) and one the
//   device does not take within 1 s fails, though the message still
//   arrives later; the stop hands back a part-filled buffer with
//   MIM_LONGERROR; the reset hands every queued buffer back on the calling
//   thread for as long as buffers are queued; a port with no interface of
//   its own gives a USB device's.
//
// It reads its script from "winmm-double.script" in the working folder and
// writes what it saw to "winmm-double.log" whenever a port closes.
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>
#include <mmddk.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "backends/backend.h"
#include "sim/emulation.h"
#include "tests/sim_script.h"
#include "tests/test_support.h"

namespace {

constexpr uint32_t HOLD_FOR_GOOD = 1000;  // a driver that never lets go, even on reset
constexpr DWORD SERVICE_SEND_TIMEOUT_MS = 1000;
constexpr int RESET_ROUNDS_MAX = 64;      // the service's reset would go on for ever
const HMIDIIN IN_HANDLE = reinterpret_cast<HMIDIIN>(static_cast<uintptr_t>(0x1001));
const HMIDIOUT OUT_HANDLE = reinterpret_cast<HMIDIOUT>(static_cast<uintptr_t>(0x2002));
const char USB_INTERFACE[] =
    "\\\\?\\usb#vid_0000&pid_0000&mi_00#7&1a2b3c4d&0&0000#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";

struct Double {
    std::once_flag started;
    TestScript script;

    std::mutex mutex;  // guards what the emulation's thread shares
    std::condition_variable changed;
    uint8_t staging[8192];          // where the emulation writes a message
    std::deque<MIDIHDR*> queued;    // input buffers, in the order added
    bool inputStarted = false;
    bool delivering = false;
    uint16_t inIndex = 0;
    std::thread driver;             // takes the device's messages in turn
    std::atomic<bool> driverRunning{false};
    DWORD_PTR inputProc = 0;
    DWORD_PTR inputInstance = 0;
    // The service's parse of the device's bytes.
    bool inSysex = false;
    MIDIHDR* filling = nullptr;     // the buffer a System Exclusive message goes into
    uint8_t shortMessage[3] = {};
    int shortBytes = 0, shortNeeds = 0;

    uint16_t outIndex = 0;
    MIDIHDR* held = nullptr;        // the message the driver still has
    uint32_t holdsLeft = 0;
    uint32_t stillPlayingAnswers = 0;  // for the message held
    DWORD lastStillPlaying = 0;        // when the last one was given
    uint32_t sends = 0;
    bool outputBroken = false;         // after a stalled send (service)
    SimBytes late;                     // the stalled message, not yet delivered
    uint32_t lateNumber = 0;
} winmm;

// A caller waits for the driver in steps of about 100 ms (a sleep may end a
// tick early), except once right after a reset.
constexpr DWORD LEAST_STEP_MS = 50;

void start() {
    std::call_once(winmm.started, [] {
        TestScript script;
        std::string text = readFile("winmm-double.script");
        if (text.empty() || !parseSimScript(text, script)) script = TestScript();
        script.wallClock = true;
        script.realTime = false;
        winmm.script = script;
        simBegin(script);
    });
}

const WinmmHabits& habits() { return winmm.script.winmm; }

bool service() { return habits().servicePath; }

void saveLog() {
    std::ofstream file("winmm-double.log", std::ios::binary | std::ios::trunc);
    file << simLogText(simLog());
}

MMRESULT misuse(const char* what) {
    simNote(std::string("WinMM misuse: ") + what);
    return MMSYSERR_INVALPARAM;
}

void callInputProc(UINT message, DWORD_PTR param1, DWORD_PTR param2 = 0) {
    auto proc = reinterpret_cast<void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(winmm.inputProc);
    proc(IN_HANDLE, message, winmm.inputInstance, param1, param2);
}

// Hands a buffer back to the callback, with the lock let go meanwhile.
void handBack(std::unique_lock<std::mutex>& lock, MIDIHDR* header, UINT message) {
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    lock.unlock();
    callInputProc(message, reinterpret_cast<DWORD_PTR>(header));
    lock.lock();
}

MIDIHDR* takeQueued() {
    if (winmm.queued.empty()) return nullptr;
    MIDIHDR* header = winmm.queued.front();
    winmm.queued.pop_front();
    header->dwBytesRecorded = 0;
    return header;
}

// The classic stack: the message into the queued buffers in turn; returns
// false if some of it found no buffer.
bool deliverWhole(std::unique_lock<std::mutex>& lock, uint32_t bytes) {
    for (uint32_t at = 0; at < bytes;) {
        MIDIHDR* header = takeQueued();
        if (header == nullptr) return false;
        DWORD n = bytes - at < header->dwBufferLength ? bytes - at : header->dwBufferLength;
        std::memcpy(header->lpData, winmm.staging + at, n);
        header->dwBytesRecorded = n;
        at += n;
        handBack(lock, header, MIM_LONGDATA);
    }
    return true;
}

int dataBytesAfter(uint8_t status) {
    if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2;  // program change and channel pressure: 1
    return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
}

void shortMessageByte(std::unique_lock<std::mutex>& lock, uint8_t byte) {
    if (byte & 0x80) {
        winmm.shortMessage[0] = byte;
        winmm.shortBytes = 1;
        winmm.shortNeeds = dataBytesAfter(byte);
    } else if (winmm.shortBytes == 0 || winmm.shortBytes > winmm.shortNeeds) {
        return;  // a data byte with no status before it
    } else {
        winmm.shortMessage[winmm.shortBytes++] = byte;
    }
    if (winmm.shortBytes != winmm.shortNeeds + 1) return;
    DWORD packed = winmm.shortMessage[0] | (winmm.shortMessage[1] << 8) | (winmm.shortMessage[2] << 16);
    winmm.shortBytes = 0;
    lock.unlock();
    callInputProc(MIM_DATA, packed);
    lock.lock();
}

// The MIDI service: the device's bytes as the service parses them. Returns
// false if a System Exclusive message found no buffer.
bool deliverParsed(std::unique_lock<std::mutex>& lock, uint32_t bytes) {
    bool all = true;
    for (uint32_t i = 0; i < bytes; ++i) {
        uint8_t byte = winmm.staging[i];
        if (byte >= 0xF8) {  // real time: never cuts a message
            lock.unlock();
            callInputProc(MIM_DATA, byte);
            lock.lock();
            continue;
        }
        if (winmm.inSysex) {
            if (byte < 0x80 || byte == 0xF7) {
                MIDIHDR* header = winmm.filling;
                if (header == nullptr) {
                    if (byte == 0xF7) winmm.inSysex = false;
                    continue;
                }
                header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
                if (byte == 0xF7) {
                    winmm.inSysex = false;
                    winmm.filling = nullptr;
                    handBack(lock, header, MIM_LONGDATA);
                } else if (header->dwBytesRecorded == header->dwBufferLength) {
                    handBack(lock, header, MIM_LONGDATA);  // full: it goes on in the next buffer
                    winmm.filling = takeQueued();
                    if (winmm.filling == nullptr) all = false;
                }
                continue;
            }
            // Another status byte cuts the message: its buffer comes back as
            // an error, or, when the cut falls at a buffer's end (nothing in
            // the buffer yet), empty.
            winmm.inSysex = false;
            if (MIDIHDR* header = winmm.filling) {
                winmm.filling = nullptr;
                handBack(lock, header, header->dwBytesRecorded == 0 ? MIM_LONGDATA : MIM_LONGERROR);
            }
        }
        if (byte == 0xF0) {
            winmm.inSysex = true;
            winmm.filling = takeQueued();
            if (winmm.filling == nullptr) {
                all = false;
                continue;
            }
            winmm.filling->lpData[winmm.filling->dwBytesRecorded++] = static_cast<char>(byte);
            continue;
        }
        shortMessageByte(lock, byte);
    }
    return all;
}

// A message from the emulated device, once the input is started; otherwise
// it is lost.
void onEmulatedMessage(uint32_t bytes) {
    std::unique_lock<std::mutex> lock(winmm.mutex);
    bool delivered = false;
    if (winmm.inputStarted) {
        winmm.delivering = true;
        delivered = service() ? deliverParsed(lock, bytes) : deliverWhole(lock, bytes);
        winmm.delivering = false;
        winmm.changed.notify_all();
    }
    lock.unlock();
    if (!delivered) simEvent("reply dropped");
}

// The driver's thread: each message of the emulated device as it arrives.
void driverLoop() {
    while (winmm.driverRunning.load()) {
        midiBackendAwait();
        while (uint32_t bytes = midiBackendTake(winmm.staging, sizeof winmm.staging)) onEmulatedMessage(bytes);
    }
}

void stopDriver() {
    if (!winmm.driver.joinable()) return;
    winmm.driverRunning = false;
    winmm.driver.join();
}

std::string hex(const MIDIHDR* header) {
    return hexText(SimBytes(header->lpData, header->lpData + header->dwBufferLength));
}

const SimPort* port(const std::vector<SimPort>& ports, UINT_PTR index) {
    return index < ports.size() ? &ports[index] : nullptr;
}

// The device interface query, with the port's index as the handle.
MMRESULT interfaceQuery(const SimPort* port, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    if (message != DRV_QUERYDEVICEINTERFACESIZE && message != DRV_QUERYDEVICEINTERFACE) return MMSYSERR_NOTSUPPORTED;
    if (port == nullptr) return MMSYSERR_BADDEVICEID;
    auto told = habits().interfaceOf.find(port->name);
    std::string name = told == habits().interfaceOf.end() ? "" : told->second;
    if (habits().emptyInterfaces) {
        name.clear();
    } else if (name.empty()) {
        if (!service()) return MMSYSERR_NOTSUPPORTED;  // a classic driver that does not tell
        name = USB_INTERFACE;
    }
    std::wstring wide(name.begin(), name.end());
    ULONG size = static_cast<ULONG>((wide.size() + 1) * sizeof(wchar_t));
    if (param1 == 0) return misuse("device interface query without a buffer");
    if (message == DRV_QUERYDEVICEINTERFACESIZE) {
        *reinterpret_cast<ULONG*>(param1) = size;
        return MMSYSERR_NOERROR;
    }
    if (param2 < size) return misuse("device interface buffer too small");
    std::memcpy(reinterpret_cast<void*>(param1), wide.c_str(), size);
    return MMSYSERR_NOERROR;
}

}  // namespace

extern "C" {

UINT WINAPI midiInGetNumDevs(void) {
    start();
    return midiBackendInCount();
}

UINT WINAPI midiOutGetNumDevs(void) {
    start();
    return midiBackendOutCount();
}

MMRESULT WINAPI midiInMessage(HMIDIIN handle, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    start();
    return interfaceQuery(port(winmm.script.inputs, reinterpret_cast<UINT_PTR>(handle)), message, param1, param2);
}

MMRESULT WINAPI midiOutMessage(HMIDIOUT handle, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
    start();
    return interfaceQuery(port(winmm.script.outputs, reinterpret_cast<UINT_PTR>(handle)), message, param1, param2);
}

MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR id, LPMIDIINCAPSA caps, UINT size) {
    start();
    if (caps == nullptr || size != sizeof(MIDIINCAPSA)) return misuse("midiInGetDevCapsA size");
    std::memset(caps, 0, sizeof *caps);
    char name[MIDI_PORT_NAME_CHARS];
    MMRESULT result = midiBackendInName(static_cast<uint16_t>(id), name);
    std::memcpy(caps->szPname, name, sizeof caps->szPname);
    return result;
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR id, LPMIDIOUTCAPSA caps, UINT size) {
    start();
    if (caps == nullptr || size != sizeof(MIDIOUTCAPSA)) return misuse("midiOutGetDevCapsA size");
    std::memset(caps, 0, sizeof *caps);
    char name[MIDI_PORT_NAME_CHARS];
    MMRESULT result = midiBackendOutName(static_cast<uint16_t>(id), name);
    std::memcpy(caps->szPname, name, sizeof caps->szPname);
    return result;
}

MMRESULT WINAPI midiInOpen(LPHMIDIIN handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    start();
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION || callback == 0) return misuse("midiInOpen callback");
    MMRESULT result = midiBackendInOpen(static_cast<uint16_t>(id));
    if (result != MMSYSERR_NOERROR) return result;
    {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        winmm.inputProc = callback;
        winmm.inputInstance = instance;
        winmm.inIndex = static_cast<uint16_t>(id);
        winmm.inputStarted = false;
        winmm.queued.clear();
        winmm.inSysex = false;
        winmm.filling = nullptr;
        winmm.shortBytes = 0;
    }
    *handle = IN_HANDLE;
    callInputProc(MIM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiInPrepareHeader size");
    std::lock_guard<std::mutex> guard(winmm.mutex);
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiInUnprepareHeader size");
    std::lock_guard<std::mutex> guard(winmm.mutex);
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiInAddBuffer size");
    std::lock_guard<std::mutex> guard(winmm.mutex);
    if (const SimPort* p = port(winmm.script.inputs, winmm.inIndex)) {
        auto refused = habits().buffersResultOf.find(p->name);
        if (refused != habits().buffersResultOf.end()) return refused->second;
    }
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    winmm.queued.push_back(header);
    return MMSYSERR_NOERROR;
}

// From now on the driver's thread takes each message, the one the device
// sent before the port opened first.
MMRESULT WINAPI midiInStart(HMIDIIN) {
    {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        winmm.inputStarted = true;
    }
    MMRESULT result = midiBackendInStart();
    if (result != MMSYSERR_NOERROR) {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        winmm.inputStarted = false;
        return result;
    }
    if (!winmm.driver.joinable()) {
        winmm.driverRunning = true;
        winmm.driver = std::thread(driverLoop);
    }
    return result;
}

// Once stopped, no message reaches the callback, and one being delivered
// has finished. The service hands back a part-filled buffer as an error.
MMRESULT WINAPI midiInStop(HMIDIIN) {
    stopDriver();
    std::unique_lock<std::mutex> lock(winmm.mutex);
    winmm.inputStarted = false;
    winmm.changed.wait(lock, [] { return !winmm.delivering; });
    winmm.inSysex = false;
    if (MIDIHDR* header = winmm.filling) {
        winmm.filling = nullptr;
        handBack(lock, header, MIM_LONGERROR);
    }
    return MMSYSERR_NOERROR;
}

// Hands every queued buffer back, marked done and empty: the classic stack
// those queued when it is called, the service for as long as any is queued
// (a callback that queues one again keeps it going).
MMRESULT WINAPI midiInReset(HMIDIIN handle) {
    midiInStop(handle);
    std::unique_lock<std::mutex> lock(winmm.mutex);
    if (service()) {
        for (int rounds = 0; MIDIHDR* header = takeQueued(); ++rounds) {
            if (rounds == RESET_ROUNDS_MAX) {
                lock.unlock();
                return misuse("a buffer queued again during the reset (the service's reset would hang)");
            }
            handBack(lock, header, MIM_LONGDATA);
        }
        return MMSYSERR_NOERROR;
    }
    std::deque<MIDIHDR*> handedBack;
    handedBack.swap(winmm.queued);
    for (MIDIHDR* header : handedBack) {
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    }
    lock.unlock();
    for (MIDIHDR* header : handedBack) callInputProc(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInClose(HMIDIIN) {
    {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        if (!winmm.queued.empty()) return MIDIERR_STILLPLAYING;
        winmm.inputStarted = false;
    }
    stopDriver();
    midiBackendInClose();
    callInputProc(MIM_CLOSE, 0);
    saveLog();
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    start();
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_NULL || callback != 0) return misuse("midiOutOpen callback");
    MMRESULT result = midiBackendOutOpen(static_cast<uint16_t>(id));
    if (result != MMSYSERR_NOERROR) return result;
    winmm.outIndex = static_cast<uint16_t>(id);
    winmm.held = nullptr;
    *handle = OUT_HANDLE;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiOutPrepareHeader size");
    if (header == winmm.held) return misuse("midiOutPrepareHeader on a header the driver holds");
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// The service writes the message before it returns; one the device does
// not take in time fails, and the output is broken from then on.
MMRESULT serviceLongMsg(LPMIDIHDR header) {
    ++winmm.sends;
    if (winmm.outputBroken) return MMSYSERR_ERROR;
    if (winmm.sends == habits().stallSendAt) {
        Sleep(SERVICE_SEND_TIMEOUT_MS);
        winmm.outputBroken = true;
        winmm.late.assign(header->lpData, header->lpData + header->dwBufferLength);
        winmm.lateNumber = winmm.sends;
        return MMSYSERR_ERROR;
    }
    MMRESULT result = midiBackendOutSend(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength, 0);
    if (result != MMSYSERR_NOERROR) return result;
    header->dwFlags |= MHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiOutLongMsg size");
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (winmm.held != nullptr) return misuse("midiOutLongMsg while the driver holds a message");
    if (service()) return serviceLongMsg(header);
    MMRESULT result = midiBackendOutSend(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength, 0);
    if (result != MMSYSERR_NOERROR) return result;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    winmm.held = header;
    winmm.holdsLeft = habits().driverHolds;
    winmm.stillPlayingAnswers = 0;
    winmm.lastStillPlaying = 0;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiOutUnprepareHeader size");
    if (header == winmm.held) {
        if (winmm.holdsLeft > 0) {
            if (winmm.holdsLeft < HOLD_FOR_GOOD) --winmm.holdsLeft;
            DWORD now = GetTickCount();
            if (winmm.lastStillPlaying != 0 && now - winmm.lastStillPlaying < LEAST_STEP_MS)
                simNote("WinMM misuse: asked again " + std::to_string(now - winmm.lastStillPlaying) + " ms after still playing");
            ++winmm.stillPlayingAnswers;
            winmm.lastStillPlaying = now;
            return MIDIERR_STILLPLAYING;
        }
        winmm.held = nullptr;
    }
    header->dwFlags = (header->dwFlags & ~(MHDR_INQUEUE | MHDR_PREPARED)) | MHDR_DONE;
    return MMSYSERR_NOERROR;
}

// Lets go of the message, unless the driver is stuck for good.
MMRESULT WINAPI midiOutReset(HMIDIOUT) {
    simEvent("out " + std::to_string(winmm.outIndex) + " reset after " + std::to_string(winmm.stillPlayingAnswers) +
             " still-playing answers");
    if (winmm.holdsLeft < HOLD_FOR_GOOD) winmm.holdsLeft = 0;
    winmm.lastStillPlaying = 0;
    return MMSYSERR_NOERROR;
}

// A driver that still holds a message reads it once more as the port goes;
// a message whose send stalled reaches the device now.
MMRESULT WINAPI midiOutClose(HMIDIOUT) {
    if (winmm.held != nullptr) {
        simEvent("out " + std::to_string(winmm.outIndex) + " read after the give-up: " + hex(winmm.held));
        winmm.held = nullptr;
    }
    if (!winmm.late.empty()) {
        simEvent("out " + std::to_string(winmm.outIndex) + " took message " + std::to_string(winmm.lateNumber) +
                 " late");
        midiBackendOutSend(winmm.late.data(), static_cast<uint32_t>(winmm.late.size()), 0);
        winmm.late.clear();
    }
    midiBackendOutClose();
    saveLog();
    return MMSYSERR_NOERROR;
}

}  // extern "C"
