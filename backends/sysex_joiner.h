// Joins the pieces a driver or the sequencer delivers System Exclusive
// messages in into whole messages, for the back ends that get pieces (ALSA,
// WinMM). The rules:
//  - a message starts at 0xF0; an 0xF0 while a message is unfinished drops
//    the unfinished one and starts over;
//  - it ends at 0xF7, and is then the latest whole message, replacing one
//    not yet taken;
//  - a real-time byte (0xF8 and above) inside a message is no part of it;
//    any other status byte drops the unfinished message;
//  - bytes outside a message belong to none;
//  - a message longer than MIDI_RECEIVE_BYTES is cut to that room;
//  - the discard drops the latest whole message and the unfinished one, so
//    the rest of a message cut by it is never taken.
#pragma once

#include <cstddef>
#include <cstdint>

#include "backends/backend.h"

struct SysexJoiner {
    uint8_t joining[MIDI_RECEIVE_BYTES];
    uint32_t size = 0;       // bytes of the unfinished message kept
    bool inMessage = false;  // an 0xF0 came and its 0xF7 has not
    uint8_t whole[MIDI_RECEIVE_BYTES];
    uint32_t wholeSize = 0;  // the latest whole message not yet taken; 0: none
};

void sysexJoinPiece(SysexJoiner& joiner, const uint8_t* piece, size_t length);
// The source says the unfinished message broke off (a driver's error
// notice, or a buffer handed back without the message's end).
void sysexDropUnfinished(SysexJoiner& joiner);
// The latest whole message, once: its length, copied into `area` and cut to
// `room`; 0 when there is none.
uint32_t sysexTakeWhole(SysexJoiner& joiner, uint8_t* area, uint32_t room);
void sysexDiscard(SysexJoiner& joiner);
