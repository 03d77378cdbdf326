// Writing kit files: records with a correct length field and checksum
// around given payloads, as hex text. Used by the demo and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// One record: big-endian length, the payload, little-endian checksum.
Bytes makeKitRecord(const Bytes& payload);

// Records of `recordCount` payloads of `payloadBytes` bytes each, filled with
// a pattern that depends on `seed`.
Bytes makeSampleImage(size_t recordCount, size_t payloadBytes, uint32_t seed);

// The bytes as kit text: upper-case hex values, 16 to a line.
std::string kitText(const Bytes& bytes);

// Writes `text` to the file `path`; false when it cannot be written.
bool writeTextFile(const std::string& path, const std::string& text);
