// The rules of a buffer's state, for back ends that keep their own queue of
// receive buffers (as the Windows interface does for its drivers).
#pragma once

#include <cstring>

#include "midi/backend.h"

// A queued buffer cannot be unprepared.
inline MidiResult unprepareBuffer(MidiBuffer* buffer) {
    if (buffer->flags & MIDI_BUFFER_QUEUED) return MIDI_STILL_PLAYING;
    buffer->flags &= ~MIDI_BUFFER_PREPARED;
    return MIDI_OK;
}

// Marks a prepared buffer queued; the caller then queues it.
inline MidiResult markBufferQueued(MidiBuffer* buffer) {
    if (!(buffer->flags & MIDI_BUFFER_PREPARED)) return MIDI_UNPREPARED;
    if (buffer->flags & MIDI_BUFFER_QUEUED) return MIDI_STILL_PLAYING;
    buffer->flags = (buffer->flags & ~MIDI_BUFFER_DONE) | MIDI_BUFFER_QUEUED;
    return MIDI_OK;
}

// Fills a buffer taken off the queue with a message (cut to the buffer's
// length; none when handed back) and marks it done.
inline void completeBuffer(MidiBuffer* buffer, const uint8_t* message, uint32_t size) {
    uint32_t n = size < buffer->length ? size : buffer->length;
    if (n > 0) std::memcpy(buffer->data, message, n);
    buffer->bytesRecorded = n;
    buffer->flags = (buffer->flags & ~MIDI_BUFFER_QUEUED) | MIDI_BUFFER_DONE;
}
