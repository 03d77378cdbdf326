// The Windows back end: the multimedia MIDI interface (WinMM), with its
// mechanics: prepared headers, the wait for the driver to let go of a sent
// message, the receive buffer queued again from the input callback, and the
// stop, reset and unprepare a port needs before it closes.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>

#include "midi/backend.h"

namespace {

constexpr DWORD UNPREPARE_RETRY_MS = 100;
constexpr int UNPREPARE_MAX_RETRIES = 50;  // a driver stuck longer is given up
constexpr int CLOSE_ATTEMPTS = 10;

struct Input {
    HMIDIIN handle = nullptr;
    MIDIHDR header = {};
    uint8_t* area = nullptr;
    uint32_t room = 0;
    MidiReceiver receiver = nullptr;
    void* context = nullptr;
    std::atomic<bool> requeue{false};  // the callback queues the buffer again
};

struct Output {
    HMIDIOUT handle = nullptr;
    MIDIHDR header = {};
    bool stuck = false;  // the driver kept the last message after the give-up
};

Input input;
Output output;

void queueReceiveBuffer() {
    MIDIHDR& header = input.header;
    std::memset(&header, 0, sizeof header);
    header.lpData = reinterpret_cast<LPSTR>(input.area);
    header.dwBufferLength = input.room;
    midiInPrepareHeader(input.handle, &header, sizeof header);
    midiInAddBuffer(input.handle, &header, sizeof header);
}

// Short messages, errors and notices are ignored; a buffer handed back with
// an error is not queued again.
void CALLBACK onWinmmInput(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message != MIM_LONGDATA) return;
    const auto* completed = reinterpret_cast<const MIDIHDR*>(param1);
    input.receiver(input.context, completed->dwBytesRecorded);
    if (input.requeue.load(std::memory_order_acquire)) {
        midiInUnprepareHeader(input.handle, &input.header, sizeof input.header);
        queueReceiveBuffer();
    }
}

}  // namespace

uint16_t midiBackendInCount() { return static_cast<uint16_t>(midiInGetNumDevs()); }
uint16_t midiBackendOutCount() { return static_cast<uint16_t>(midiOutGetNumDevs()); }

MidiResult midiBackendInName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    MIDIINCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    MMRESULT result = midiInGetDevCapsA(index, &caps, sizeof caps);
    std::memcpy(name, caps.szPname, MIDI_PORT_NAME_CHARS);
    return result;
}

MidiResult midiBackendOutName(uint16_t index, char name[MIDI_PORT_NAME_CHARS]) {
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    MMRESULT result = midiOutGetDevCapsA(index, &caps, sizeof caps);
    std::memcpy(name, caps.szPname, MIDI_PORT_NAME_CHARS);
    return result;
}

MidiResult midiBackendInOpen(uint16_t index, uint8_t* area, uint32_t room, MidiReceiver receiver, void* context) {
    input.area = area;
    input.room = room;
    input.receiver = receiver;
    input.context = context;
    MMRESULT result =
        midiInOpen(&input.handle, index, reinterpret_cast<DWORD_PTR>(onWinmmInput), 0, CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) return result;
    queueReceiveBuffer();
    input.requeue.store(true, std::memory_order_release);
    return MMSYSERR_NOERROR;
}

MidiResult midiBackendInStart() { return midiInStart(input.handle); }

// A port does not close while a buffer is queued; a reply arriving during
// the close may have queued it again, so the close is retried.
void midiBackendInClose() {
    input.requeue.store(false, std::memory_order_release);
    midiInStop(input.handle);
    for (int attempt = 0; attempt < CLOSE_ATTEMPTS; ++attempt) {
        midiInReset(input.handle);
        midiInUnprepareHeader(input.handle, &input.header, sizeof input.header);
        if (midiInClose(input.handle) != MIDIERR_STILLPLAYING) return;
        Sleep(1);
    }
}

MidiResult midiBackendOutOpen(uint16_t index) {
    output.stuck = false;
    return midiOutOpen(&output.handle, index, 0, 0, CALLBACK_NULL);
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
        Sleep(UNPREPARE_RETRY_MS);
    }
    return MMSYSERR_NOERROR;
}

void midiBackendOutClose() {
    midiOutClose(output.handle);
}

void midiBackendSleep(uint32_t milliseconds) { Sleep(milliseconds); }

// A Windows poll is a 1 ms sleep, whatever the timer's tick makes of it.
void midiBackendPollPause(const std::atomic<uint32_t>&, uint32_t) { Sleep(1); }
