// The Windows back end: the multimedia MIDI interface (WinMM).
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>
#include <new>

#include "midi/backend.h"

static_assert(sizeof(MIDIHDR) <= sizeof(MidiBuffer::native), "MIDIHDR must fit a MidiBuffer");

namespace {

// The input callback of the one input port open at a time.
std::atomic<MidiInCallback> inputCallback{nullptr};

MIDIHDR* nativeHeader(MidiBuffer* buffer) { return reinterpret_cast<MIDIHDR*>(buffer->native); }

// Describes the buffer to WinMM in its own header, kept inside the buffer.
MIDIHDR* describe(MidiBuffer* buffer) {
    MIDIHDR* header = new (buffer->native) MIDIHDR();
    header->lpData = reinterpret_cast<LPSTR>(buffer->data);
    header->dwBufferLength = buffer->length;
    header->dwBytesRecorded = buffer->bytesRecorded;
    header->dwFlags = buffer->flags;
    header->dwUser = reinterpret_cast<DWORD_PTR>(buffer);
    return header;
}

void takeState(MidiBuffer* buffer) {
    buffer->bytesRecorded = nativeHeader(buffer)->dwBytesRecorded;
    buffer->flags = nativeHeader(buffer)->dwFlags;
}

HMIDIIN inPort(MidiPort port) { return reinterpret_cast<HMIDIIN>(port); }
HMIDIOUT outPort(MidiPort port) { return reinterpret_cast<HMIDIOUT>(port); }

void CALLBACK onWinmmInput(HMIDIIN port, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                           DWORD_PTR param2) {
    MidiInCallback callback = inputCallback.load(std::memory_order_acquire);
    if (callback == nullptr) return;
    if ((message == MIM_LONGDATA || message == MIM_LONGERROR) && param1 != 0) {
        auto* header = reinterpret_cast<MIDIHDR*>(param1);
        auto* buffer = reinterpret_cast<MidiBuffer*>(header->dwUser);
        takeState(buffer);
        param1 = reinterpret_cast<DWORD_PTR>(buffer);
    }
    callback(reinterpret_cast<MidiPort>(port), message, instance, param1, param2);
}

}  // namespace

uint16_t midiBackendInCount() { return static_cast<uint16_t>(midiInGetNumDevs()); }
uint16_t midiBackendOutCount() { return static_cast<uint16_t>(midiOutGetNumDevs()); }

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    MIDIINCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    MMRESULT result = midiInGetDevCapsA(index, &caps, sizeof caps);
    std::memcpy(name, caps.szPname, MIDI_PORT_NAME_CHARS);
    name[MIDI_PORT_NAME_CHARS - 1] = 0;
    return result;
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    MMRESULT result = midiOutGetDevCapsA(index, &caps, sizeof caps);
    std::memcpy(name, caps.szPname, MIDI_PORT_NAME_CHARS);
    name[MIDI_PORT_NAME_CHARS - 1] = 0;
    return result;
}

MidiResult midiBackendInOpen(MidiPort& port, uint16_t index, MidiInCallback callback) {
    inputCallback.store(callback, std::memory_order_release);
    HMIDIIN handle = nullptr;
    MMRESULT result = midiInOpen(&handle, index, reinterpret_cast<DWORD_PTR>(onWinmmInput), 0,
                                 CALLBACK_FUNCTION);
    if (result == MMSYSERR_NOERROR) port = reinterpret_cast<MidiPort>(handle);
    return result;
}

MidiResult midiBackendInPrepare(MidiPort port, MidiBuffer* buffer) {
    MMRESULT result = midiInPrepareHeader(inPort(port), describe(buffer), sizeof(MIDIHDR));
    takeState(buffer);
    return result;
}

MidiResult midiBackendInUnprepare(MidiPort port, MidiBuffer* buffer) {
    MMRESULT result = midiInUnprepareHeader(inPort(port), nativeHeader(buffer), sizeof(MIDIHDR));
    takeState(buffer);
    return result;
}

MidiResult midiBackendInAddBuffer(MidiPort port, MidiBuffer* buffer) {
    return midiInAddBuffer(inPort(port), nativeHeader(buffer), sizeof(MIDIHDR));
}

MidiResult midiBackendInStart(MidiPort port) { return midiInStart(inPort(port)); }
MidiResult midiBackendInStop(MidiPort port) { return midiInStop(inPort(port)); }
MidiResult midiBackendInReset(MidiPort port) { return midiInReset(inPort(port)); }
MidiResult midiBackendInClose(MidiPort port) { return midiInClose(inPort(port)); }

MidiResult midiBackendOutOpen(MidiPort& port, uint16_t index) {
    HMIDIOUT handle = nullptr;
    MMRESULT result = midiOutOpen(&handle, index, 0, 0, CALLBACK_NULL);
    if (result == MMSYSERR_NOERROR) port = reinterpret_cast<MidiPort>(handle);
    return result;
}

MidiResult midiBackendOutPrepare(MidiPort port, MidiBuffer* buffer) {
    MMRESULT result = midiOutPrepareHeader(outPort(port), describe(buffer), sizeof(MIDIHDR));
    takeState(buffer);
    return result;
}

MidiResult midiBackendOutLongMsg(MidiPort port, MidiBuffer* buffer) {
    return midiOutLongMsg(outPort(port), nativeHeader(buffer), sizeof(MIDIHDR));
}

MidiResult midiBackendOutUnprepare(MidiPort port, MidiBuffer* buffer) {
    MMRESULT result = midiOutUnprepareHeader(outPort(port), nativeHeader(buffer), sizeof(MIDIHDR));
    takeState(buffer);
    return result;
}

MidiResult midiBackendOutReset(MidiPort port) { return midiOutReset(outPort(port)); }
MidiResult midiBackendOutClose(MidiPort port) { return midiOutClose(outPort(port)); }

void midiBackendSleep(uint32_t milliseconds) { Sleep(milliseconds); }

// A Windows poll is a 1 ms sleep, whatever the timer's tick makes of it.
void midiBackendPollPause(const std::atomic<uint32_t>&, uint32_t) { Sleep(1); }
