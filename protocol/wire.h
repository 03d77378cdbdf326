// The update wire protocol shared with the target: commands, reply codes
// and the hex chunk encoding of records.
#pragma once

#include <cstdint>

constexpr uint8_t CMD_IDENTIFY = 0x1C;

constexpr uint8_t REPLY_RESETTING = 0x15;     // after identify: target resetting
constexpr uint8_t REPLY_ACK = 0x1A;           // record accepted
constexpr uint8_t REPLY_CRC_ERROR = 0x20;
constexpr uint8_t REPLY_DAMAGED_1 = 0x21;
constexpr uint8_t REPLY_DAMAGED_2 = 0x22;
constexpr uint8_t REPLY_VERIFY_ERROR = 0x24;
constexpr uint8_t REPLY_ERASE_ERROR = 0x25;
constexpr uint8_t REPLY_RESTARTING = 0x77;    // update complete, target restarts

constexpr uint16_t CHUNK_BYTES = 23;          // image bytes of one full chunk
constexpr uint16_t CHUNK_CHARS = 2 * CHUNK_BYTES;  // its hex text: one message's payload

// Writes the two upper-case hex digits of `value`, high nibble first.
void hexEncodeByte(uint8_t value, char out[2]);

// The bytes of a record's next chunk while `remaining` bytes of it are not
// yet chunked: 23 while 23 or more remain, else the rest.
inline uint16_t chunkBytes(uint16_t remaining) { return remaining >= CHUNK_BYTES ? CHUNK_BYTES : remaining; }

// Writes the hex text of `count` bytes (at most CHUNK_BYTES) to `text`;
// returns the number of characters.
uint16_t encodeChunk(const uint8_t* bytes, uint16_t count, char* text);
