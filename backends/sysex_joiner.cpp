#include "backends/sysex_joiner.h"

#include <cstring>

namespace {

void keepWhole(SysexJoiner& joiner) {
    if (joiner.waiting == MIDI_KEPT_MESSAGES) {
        joiner.first = (joiner.first + 1) % MIDI_KEPT_MESSAGES;  // the oldest goes
        --joiner.waiting;
    }
    uint32_t slot = (joiner.first + joiner.waiting) % MIDI_KEPT_MESSAGES;
    std::memcpy(joiner.whole[slot], joiner.joining, joiner.size);
    joiner.wholeSize[slot] = joiner.size;
    ++joiner.waiting;
}

}  // namespace

void sysexJoinPiece(SysexJoiner& joiner, const uint8_t* piece, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = piece[i];
        if (byte == 0xF0) {
            joiner.inMessage = true;
            joiner.size = 0;
        } else if (!joiner.inMessage || byte >= 0xF8) {
            continue;  // outside a message, or a real-time byte within one
        } else if (byte >= 0x80 && byte != 0xF7) {
            joiner.inMessage = false;  // another status byte: the message is broken
            continue;
        }
        if (joiner.size < MIDI_RECEIVE_BYTES) joiner.joining[joiner.size++] = byte;
        if (byte == 0xF7) {
            joiner.inMessage = false;
            keepWhole(joiner);
        }
    }
}

void sysexDropUnfinished(SysexJoiner& joiner) {
    joiner.inMessage = false;
    joiner.size = 0;
}

uint32_t sysexTakeWhole(SysexJoiner& joiner, uint8_t* area, uint32_t room) {
    if (joiner.waiting == 0) return 0;
    uint32_t slot = joiner.first;
    joiner.first = (joiner.first + 1) % MIDI_KEPT_MESSAGES;
    --joiner.waiting;
    uint32_t size = joiner.wholeSize[slot];
    uint32_t kept = size < room ? size : room;
    std::memcpy(area, joiner.whole[slot], kept);
    return kept;
}

uint32_t sysexTakeOrDropUnfinished(SysexJoiner& joiner, uint8_t* area, uint32_t room) {
    uint32_t size = sysexTakeWhole(joiner, area, room);
    if (size == 0) sysexDropUnfinished(joiner);
    return size;
}

void sysexDiscard(SysexJoiner& joiner) {
    sysexDropUnfinished(joiner);
    joiner.first = 0;
    joiner.waiting = 0;
}
