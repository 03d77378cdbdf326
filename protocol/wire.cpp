#include "protocol/wire.h"

#include "midi/midi_link.h"

static_assert(CHUNK_CHARS <= SYSEX_MAX_PAYLOAD, "a full chunk fits one System Exclusive message");

namespace {
inline char hexDigit(uint8_t nibble) {
    return static_cast<char>(nibble <= 9 ? nibble + 0x30 : nibble + 0x37);
}
}  // namespace

void hexEncodeByte(uint8_t value, char out[2]) {
    out[0] = hexDigit(static_cast<uint8_t>(value >> 4));
    out[1] = hexDigit(static_cast<uint8_t>(value & 0x0F));
}

uint16_t encodeChunk(const uint8_t* bytes, uint16_t count, char* text) {
    for (uint16_t i = 0; i < count; ++i) hexEncodeByte(bytes[i], text + 2 * i);
    return static_cast<uint16_t>(2 * count);
}
