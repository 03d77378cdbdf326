// A stand-in for Windows' winmm.dll, for testing the Windows executables
// under Wine: placed next to an executable (with WINEDLLOVERRIDES=winmm=n,b)
// it takes the place of the system's MIDI ports. It behaves as WinMM does:
// header and capability sizes are checked, headers must be prepared, a sent
// message stays "still playing" while the driver holds it, a queued buffer
// keeps a port from closing, a reset hands queued buffers back, and
// MIM_LONGDATA comes on the emulation's own thread. Behind it is the
// emulated device of the sim back end, running on a wall clock.
//
// It reads its script from "winmm-double.script" in the working folder and
// writes what it saw to "winmm-double.log" whenever a port closes.
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "midi/backend.h"
#include "sim/emulation.h"
#include "tests/sim_script.h"

namespace {

constexpr uint32_t HOLD_FOR_GOOD = 1000;  // a driver that never lets go, even on reset
const HMIDIIN IN_HANDLE = reinterpret_cast<HMIDIIN>(static_cast<uintptr_t>(0x1001));
const HMIDIOUT OUT_HANDLE = reinterpret_cast<HMIDIOUT>(static_cast<uintptr_t>(0x2002));

struct Double {
    std::once_flag started;
    uint32_t driverHolds = 0;

    std::mutex mutex;  // guards what the emulation's thread shares
    std::condition_variable changed;
    uint8_t staging[256];           // where the emulation writes a message
    std::deque<MIDIHDR*> queued;    // input buffers, in the order added
    bool inputStarted = false;
    bool delivering = false;
    uint16_t inIndex = 0;
    DWORD_PTR inputProc = 0;
    DWORD_PTR inputInstance = 0;

    uint16_t outIndex = 0;
    MIDIHDR* held = nullptr;        // the message the driver still has
    uint32_t holdsLeft = 0;
    uint32_t stillPlayingAnswers = 0;  // for the message held
    DWORD lastStillPlaying = 0;        // when the last one was given
} winmm;

// A caller waits for the driver in steps of about 100 ms (a sleep may end a
// tick early), except once right after a reset.
constexpr DWORD LEAST_STEP_MS = 50;

void start() {
    std::call_once(winmm.started, [] {
        SimScript script;
        std::ifstream file("winmm-double.script", std::ios::binary);
        if (file) {
            std::stringstream text;
            text << file.rdbuf();
            if (!parseSimScript(text.str(), script)) script = SimScript();
        }
        script.wallClock = true;
        script.realTime = false;
        winmm.driverHolds = script.driverHolds;
        simBegin(script);
    });
}

void saveLog() {
    std::ofstream file("winmm-double.log", std::ios::binary | std::ios::trunc);
    file << simLogText(simLog());
}

MMRESULT misuse(const char* what) {
    simNote(std::string("WinMM misuse: ") + what);
    return MMSYSERR_INVALPARAM;
}

void callInputProc(UINT message, DWORD_PTR param1) {
    auto proc = reinterpret_cast<void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(winmm.inputProc);
    proc(IN_HANDLE, message, winmm.inputInstance, param1, 0);
}

// A completed message from the emulation: into the first queued buffer, if
// the port is started and a buffer is queued; otherwise it is lost.
void onEmulatedMessage(void*, uint32_t bytes) {
    std::unique_lock<std::mutex> lock(winmm.mutex);
    if (!winmm.inputStarted || winmm.queued.empty()) {
        lock.unlock();
        simEvent("reply dropped");
        return;
    }
    MIDIHDR* header = winmm.queued.front();
    winmm.queued.pop_front();
    DWORD n = bytes < header->dwBufferLength ? bytes : header->dwBufferLength;
    std::memcpy(header->lpData, winmm.staging, n);
    header->dwBytesRecorded = n;
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    winmm.delivering = true;
    lock.unlock();
    callInputProc(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    lock.lock();
    winmm.delivering = false;
    winmm.changed.notify_all();
}

std::string hex(const MIDIHDR* header) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (DWORD i = 0; i < header->dwBufferLength; ++i) {
        auto b = static_cast<uint8_t>(header->lpData[i]);
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
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
    MMRESULT result = midiBackendInOpen(static_cast<uint16_t>(id), winmm.staging, sizeof winmm.staging,
                                        onEmulatedMessage, nullptr);
    if (result != MMSYSERR_NOERROR) return result;
    {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        winmm.inputProc = callback;
        winmm.inputInstance = instance;
        winmm.inIndex = static_cast<uint16_t>(id);
        winmm.inputStarted = false;
        winmm.queued.clear();
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
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    winmm.queued.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInStart(HMIDIIN) {
    MMRESULT result = midiBackendInStart();
    std::lock_guard<std::mutex> guard(winmm.mutex);
    if (result == MMSYSERR_NOERROR) winmm.inputStarted = true;
    return result;
}

// Once stopped, no message reaches the callback, and one being delivered
// has finished.
MMRESULT WINAPI midiInStop(HMIDIIN) {
    std::unique_lock<std::mutex> lock(winmm.mutex);
    winmm.inputStarted = false;
    winmm.changed.wait(lock, [] { return !winmm.delivering; });
    return MMSYSERR_NOERROR;
}

// Hands every queued buffer back, marked done and empty.
MMRESULT WINAPI midiInReset(HMIDIIN handle) {
    midiInStop(handle);
    std::deque<MIDIHDR*> handedBack;
    {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        handedBack.swap(winmm.queued);
        for (MIDIHDR* header : handedBack) {
            header->dwBytesRecorded = 0;
            header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        }
    }
    for (MIDIHDR* header : handedBack) callInputProc(MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI midiInClose(HMIDIIN) {
    {
        std::lock_guard<std::mutex> guard(winmm.mutex);
        if (!winmm.queued.empty()) return MIDIERR_STILLPLAYING;
        winmm.inputStarted = false;
    }
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

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT, LPMIDIHDR header, UINT size) {
    if (header == nullptr || size != sizeof(MIDIHDR)) return misuse("midiOutLongMsg size");
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (winmm.held != nullptr) return misuse("midiOutLongMsg while the driver holds a message");
    MMRESULT result = midiBackendOutSend(reinterpret_cast<const uint8_t*>(header->lpData), header->dwBufferLength);
    if (result != MMSYSERR_NOERROR) return result;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    winmm.held = header;
    winmm.holdsLeft = winmm.driverHolds;
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

// A driver that still holds a message reads it once more as the port goes.
MMRESULT WINAPI midiOutClose(HMIDIOUT) {
    if (winmm.held != nullptr) {
        simEvent("out " + std::to_string(winmm.outIndex) + " read after the give-up: " + hex(winmm.held));
        winmm.held = nullptr;
    }
    midiBackendOutClose();
    saveLog();
    return MMSYSERR_NOERROR;
}

}  // extern "C"
