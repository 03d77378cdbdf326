#include "backends/sysex_joiner.h"

#include <cstring>

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
            std::memcpy(joiner.whole, joiner.joining, joiner.size);
            joiner.wholeSize = joiner.size;
        }
    }
}

void sysexDropUnfinished(SysexJoiner& joiner) {
    joiner.inMessage = false;
    joiner.size = 0;
}

uint32_t sysexTakeWhole(SysexJoiner& joiner, uint8_t* area, uint32_t room) {
    uint32_t size = joiner.wholeSize;
    if (size == 0) return 0;
    joiner.wholeSize = 0;
    uint32_t kept = size < room ? size : room;
    std::memcpy(area, joiner.whole, kept);
    return kept;
}

void sysexDiscard(SysexJoiner& joiner) {
    sysexDropUnfinished(joiner);
    joiner.wholeSize = 0;
}
