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

// What reading the kit file found, for the run's account: the size and
// SHA-256 of the bytes read (the file as this run saw it), how its text was
// encoded, and where the reading of values stopped.
struct KitFileFacts {
    bool opened = false;
    unsigned long long bytes = 0;
    char sha256[65] = {};  // lower-case hex
    const char* encoding = "plain";
    bool stoppedAtEnd = true;            // the values ran to the end of the text
    unsigned long long stoppedAt = 0;    // else: the character of the text where they stopped
    int stopCharacter = 0;               // ... and what it is (a UTF-16 unit beyond ASCII: 0x80)
};

constexpr const char* KIT_PATTERN = "*.kit";
constexpr const char* KIT_PREFIX = "Calvenor_Pro";

// Finds the kit file in the current directory; on go on, `path` holds its
// name.
Outcome findKitFile(std::string& path);

// Reads the kit file's values into `image`; `facts` are those of this one
// read of the file.
Outcome loadKitImage(const std::string& path, KitImage& image, KitFileFacts& facts);

// Checks that the image holds a record, and the length and checksum of
// every record; the account says why one is refused.
Outcome validateKitImage(const KitImage& image);

// The number of records of a validated image.
uint32_t kitRecordCount(const KitImage& image);

// The record starting at `pos` (the image holds its length field); its size
// is what that field declares, plus the field (16-bit arithmetic).
inline KitRecord kitRecordAt(const KitImage& image, uint16_t pos) {
    return {pos, static_cast<uint16_t>(image.bytes[pos] * 256 + image.bytes[pos + 1] + 2)};
}

// Reads values from `text` by the kit reading rules into `out` (at most
// `capacity` of them): how many, whether a further value follows beyond
// `capacity`, whether the reading stopped at the end of the text (so that a
// text cut there might have held more), and where it stopped.
struct KitValues {
    size_t count;
    bool more;
    bool endOfText;
    size_t stop;
};
KitValues readKitValues(const char* text, size_t length, uint8_t* out, size_t capacity);

// Whether the text from `from` on, read by the kit reading rules from its
// first value, begins with a whole record: a length field of at least 2 and
// the values it declares (its checksum is not asked); `scratch` takes up to
// 65537 values.
bool kitRecordFollows(const char* text, size_t length, size_t from, uint8_t* scratch);

// Reads the values of an open kit file into `image`: all of them; more than
// the image can count; not all because a read failed; or cut short, where
// the values stop at a character and a whole record follows it. A text
// that begins with a UTF-8 byte order mark is read after it; one that
// begins with a UTF-16 one (FF FE, FE FF) as the text it encodes. `facts`
// (if given) are those of the bytes read.
enum class KitReading { Whole, TooMany, Failed, CutShort };
KitReading readKitFile(FILE* file, KitImage& image, KitFileFacts* facts = nullptr);

// Whether the name carries the product prefix (letter case ignored).
bool hasKitPrefix(const std::string& name);
