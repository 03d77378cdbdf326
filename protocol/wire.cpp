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

uint16_t encodeNextChunk(const uint8_t* image, uint16_t pos, uint16_t size, uint16_t& remaining,
                         char* text) {
    const uint8_t* first = image + static_cast<uint16_t>(pos + size - remaining);
    uint16_t bytes = remaining >= CHUNK_BYTES ? CHUNK_BYTES : remaining;
    for (uint16_t i = 0; i < bytes; ++i) hexEncodeByte(first[i], text + 2 * i);
    remaining = static_cast<uint16_t>(remaining - bytes);
    return static_cast<uint16_t>(2 * bytes);
}
