// A stand-in for Windows' winmm.dll, for testing the Windows executables
// under Wine: placed next to an executable (with WINEDLLOVERRIDES=winmm=n,b)
// it takes the place of the system's MIDI ports. Behind it is the emulated
// device of the sim back end, running on a wall clock; this file only
// speaks WinMM: header and capability sizes, prepared headers, and the
// MidiInProc callback with MIM_OPEN, MIM_LONGDATA and MIM_CLOSE on the
// emulation's own thread.
//
// It reads its script from "winmm-double.script" in the working folder and
// writes what it saw to "winmm-double.log" whenever a port closes.
#define _WINMM_
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "midi/backend.h"
#include "midi/sim_device.h"
#include "midi/sim_script.h"

namespace {

std::once_flag started;
std::mutex headersMutex;
std::map<const MIDIHDR*, MidiBuffer*> buffers;  // each header's buffer in the emulation

HMIDIIN inputHandle = nullptr;
DWORD_PTR inputProc = 0;
DWORD_PTR inputInstance = 0;

void start() {
    std::call_once(started, [] {
        SimScript script;
        std::ifstream file("winmm-double.script", std::ios::binary);
        if (file) {
            std::stringstream text;
            text << file.rdbuf();
            if (!parseSimScript(text.str(), script)) script = SimScript();
        }
        script.wallClock = true;
        script.realTime = false;
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

MIDIHDR* headerOf(const MidiBuffer* buffer) {
    MIDIHDR* header;
    std::memcpy(&header, buffer->native, sizeof header);
    return header;
}

// The emulation's buffer for a header, brought up to date with it.
MidiBuffer* bufferOf(MIDIHDR* header) {
    std::lock_guard<std::mutex> guard(headersMutex);
    MidiBuffer*& buffer = buffers[header];
    if (buffer == nullptr) {
        buffer = new MidiBuffer();
        std::memcpy(buffer->native, &header, sizeof header);
    }
    buffer->data = reinterpret_cast<uint8_t*>(header->lpData);
    buffer->length = header->dwBufferLength;
    buffer->bytesRecorded = header->dwBytesRecorded;
    buffer->flags = header->dwFlags;
    return buffer;
}

MMRESULT settle(MidiBuffer* buffer, MMRESULT result) {
    MIDIHDR* header = headerOf(buffer);
    header->dwFlags = buffer->flags;
    header->dwBytesRecorded = buffer->bytesRecorded;
    return result;
}

void onEmulatedInput(MidiPort, uint32_t message, uintptr_t, uintptr_t param1, uintptr_t param2) {
    if (message == MIDI_IN_LONGDATA || message == MIDI_IN_LONGERROR) {
        auto* buffer = reinterpret_cast<MidiBuffer*>(param1);
        settle(buffer, MMSYSERR_NOERROR);
        param1 = reinterpret_cast<uintptr_t>(headerOf(buffer));
    }
    auto proc = reinterpret_cast<void(CALLBACK*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)>(inputProc);
    proc(inputHandle, message, inputInstance, param1, param2);
}

MidiPort port(HMIDIIN handle) { return reinterpret_cast<MidiPort>(handle); }
MidiPort port(HMIDIOUT handle) { return reinterpret_cast<MidiPort>(handle); }

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
    inputProc = callback;
    inputInstance = instance;
    MidiPort opened = 0;
    inputHandle = reinterpret_cast<HMIDIIN>(static_cast<uintptr_t>(0x1001));
    MMRESULT result = midiBackendInOpen(opened, static_cast<uint16_t>(id), onEmulatedInput);
    if (result == MMSYSERR_NOERROR) *handle = reinterpret_cast<HMIDIIN>(opened);
    return result;
}

MMRESULT WINAPI midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) {
    if (size != sizeof(MIDIHDR)) return misuse("midiInPrepareHeader size");
    MidiBuffer* buffer = bufferOf(header);
    return settle(buffer, midiBackendInPrepare(port(handle), buffer));
}

MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT size) {
    if (size != sizeof(MIDIHDR)) return misuse("midiInUnprepareHeader size");
    MidiBuffer* buffer = bufferOf(header);
    return settle(buffer, midiBackendInUnprepare(port(handle), buffer));
}

MMRESULT WINAPI midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT size) {
    if (size != sizeof(MIDIHDR)) return misuse("midiInAddBuffer size");
    MidiBuffer* buffer = bufferOf(header);
    return settle(buffer, midiBackendInAddBuffer(port(handle), buffer));
}

MMRESULT WINAPI midiInStart(HMIDIIN handle) { return midiBackendInStart(port(handle)); }
MMRESULT WINAPI midiInStop(HMIDIIN handle) { return midiBackendInStop(port(handle)); }
MMRESULT WINAPI midiInReset(HMIDIIN handle) { return midiBackendInReset(port(handle)); }

MMRESULT WINAPI midiInClose(HMIDIIN handle) {
    MMRESULT result = midiBackendInClose(port(handle));
    saveLog();
    return result;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT id, DWORD_PTR callback, DWORD_PTR, DWORD flags) {
    start();
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_NULL || callback != 0) return misuse("midiOutOpen callback");
    MidiPort opened = 0;
    MMRESULT result = midiBackendOutOpen(opened, static_cast<uint16_t>(id));
    if (result == MMSYSERR_NOERROR) *handle = reinterpret_cast<HMIDIOUT>(opened);
    return result;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) {
    if (size != sizeof(MIDIHDR)) return misuse("midiOutPrepareHeader size");
    MidiBuffer* buffer = bufferOf(header);
    return settle(buffer, midiBackendOutPrepare(port(handle), buffer));
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size) {
    if (size != sizeof(MIDIHDR)) return misuse("midiOutLongMsg size");
    MidiBuffer* buffer = bufferOf(header);
    return settle(buffer, midiBackendOutLongMsg(port(handle), buffer));
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) {
    if (size != sizeof(MIDIHDR)) return misuse("midiOutUnprepareHeader size");
    MidiBuffer* buffer = bufferOf(header);
    return settle(buffer, midiBackendOutUnprepare(port(handle), buffer));
}

MMRESULT WINAPI midiOutReset(HMIDIOUT handle) { return midiBackendOutReset(port(handle)); }

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    MMRESULT result = midiBackendOutClose(port(handle));
    saveLog();
    return result;
}

}  // extern "C"
