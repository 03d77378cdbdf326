// Joins the pieces a driver or the sequencer delivers System Exclusive
// messages in into whole messages, for the back ends that get pieces (ALSA,
// WinMM). The rules:
//  - a message starts at 0xF0; an 0xF0 while a message is unfinished drops
//    the unfinished one and starts over;
//  - it ends at 0xF7, and then waits to be taken behind the whole messages
//    not yet taken, in the order they ended (MIDI_KEPT_MESSAGES of them; a
//    further one pushes out the oldest);
//  - a real-time byte (0xF8 and above) inside a message is no part of it;
//    any other status byte drops the unfinished message;
//  - bytes outside a message belong to none;
//  - a message longer than MIDI_RECEIVE_BYTES is cut to that room;
//  - the discard drops the whole messages and the unfinished one, so the
//    rest of a message cut by it is never taken.
#pragma once

#include <cstddef>
#include <cstdint>

#include "backends/backend.h"

struct SysexJoiner {
    uint8_t joining[MIDI_RECEIVE_BYTES];
    uint32_t size = 0;       // bytes of the unfinished message kept
    bool inMessage = false;  // an 0xF0 came and its 0xF7 has not
    // The whole messages not yet taken: a ring, oldest at `first`.
    uint8_t whole[MIDI_KEPT_MESSAGES][MIDI_RECEIVE_BYTES];
    uint32_t wholeSize[MIDI_KEPT_MESSAGES] = {};
    uint32_t first = 0;
    uint32_t waiting = 0;
};

void sysexJoinPiece(SysexJoiner& joiner, const uint8_t* piece, size_t length);
// The source says the unfinished message broke off (a driver's error
// notice, or a buffer handed back without the message's end).
void sysexDropUnfinished(SysexJoiner& joiner);
// The oldest whole message not yet taken, once: its length, copied into
// `area` and cut to `room`; 0 when there is none.
uint32_t sysexTakeWhole(SysexJoiner& joiner, uint8_t* area, uint32_t room);
// As sysexTakeWhole; when none is left, the unfinished message is dropped.
uint32_t sysexTakeOrDropUnfinished(SysexJoiner& joiner, uint8_t* area, uint32_t room);
void sysexDiscard(SysexJoiner& joiner);
