// The firmware kit: finding the kit file, reading its hex text into an
// image and checking every record of the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/outcome.h"

constexpr size_t KIT_IMAGE_BYTES = 131072;
constexpr uint32_t KIT_MAX_VALUES = 65535;  // what the 16-bit count can hold

struct KitImage {
    uint8_t bytes[KIT_IMAGE_BYTES];
    uint16_t count;  // number of values read
};

// A record is a view into the image: a big-endian length L, L - 2 payload
// bytes and a little-endian checksum word; it occupies L + 2 bytes.
struct KitRecord {
    uint16_t pos;
    uint16_t size;
};

constexpr const char* KIT_PATTERN = "*.kit";
constexpr const char* KIT_PREFIX = "Calvenor_Pro";

// Finds the kit file in the current directory; on go on, `path` holds its
// name.
Outcome findKitFile(std::string& path);

// Reads the kit file's values into `image`.
Outcome loadKitImage(const std::string& path, KitImage& image);

// Checks the length and checksum of every record of the image.
Outcome validateKitImage(const KitImage& image);

// The number of records of a validated image.
uint32_t kitRecordCount(const KitImage& image);

// What the run's account says of the kit file: its size and SHA-256.
struct KitFileFacts {
    unsigned long long bytes;
    char sha256[65];  // lower-case hex
};
// False when the file cannot be read whole.
bool readKitFileFacts(const std::string& path, KitFileFacts& facts);

// The record starting at `pos` (the image holds its length field); its size
// is what that field declares, plus the field (16-bit arithmetic).
inline KitRecord kitRecordAt(const KitImage& image, uint16_t pos) {
    return {pos, static_cast<uint16_t>(image.bytes[pos] * 256 + image.bytes[pos + 1] + 2)};
}

// Reads values from `text` by the kit reading rules into `out` (at most
// `capacity` of them): how many, whether a further value follows beyond
// `capacity`, and whether the reading stopped at the end of the text (so
// that a text cut there might have held more).
struct KitValues {
    size_t count;
    bool more;
    bool endOfText;
};
KitValues readKitValues(const char* text, size_t length, uint8_t* out, size_t capacity);

// Reads the values of an open kit file into `image`: all of them, more
// than the image can count, or not all because a read failed.
enum class KitReading { Whole, TooMany, Failed };
KitReading readKitFile(FILE* file, KitImage& image);

// Whether the name carries the product prefix (letter case ignored).
bool hasKitPrefix(const std::string& name);
