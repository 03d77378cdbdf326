// Reading the kit's hex text. The file is read whole into memory (up to a
// bound far above any kit's text), then its values are read one after
// another by these rules, until the first read that yields no value:
//  - white space (0x09 to 0x0D, 0x20) before a value is skipped;
//  - an optional + or - takes the first of the value's two positions;
//  - an optional 0x or 0X prefix follows and takes no position;
//  - hex digits fill the remaining positions (two, or one after a sign) and
//    stop early before any other character, which starts the next value;
//  - a minus negates; the low 8 bits are stored;
//  - a read that finds no digit yields no value (end of file, a sign or
//    prefix at end of file, any other character where a digit must come).
// A file that cannot be read to its end (a read fails, or its values go on
// past the bound) is refused, like a bad record: a cut-off image of valid
// records must never be flashed.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/console.h"
#include "core/sha256.h"
#include "kit/kit.h"
#include "kit/kit_files.h"

namespace {

// Far more than the text of 65535 values, even one per line with blanks
// around: what lies beyond it is read only to tell that the values go on.
constexpr size_t KIT_TEXT_MAX_BYTES = 4u << 20;

inline bool isKitSpace(int c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; }

inline int hexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

struct Text {
    const unsigned char* at;
    const unsigned char* end;
    int peek(size_t ahead = 0) const { return static_cast<size_t>(end - at) > ahead ? at[ahead] : -1; }
};

// One value by the rules above: 0-255, or -1 when the read yields no value.
int readValue(Text& text) {
    while (isKitSpace(text.peek())) ++text.at;
    int c = text.peek();
    if (c < 0) return -1;

    int positions = 2;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        ++text.at;
        positions = 1;
    }
    if (text.peek() == '0' && (text.peek(1) == 'x' || text.peek(1) == 'X')) text.at += 2;

    int value = 0, digits = 0;
    for (int d; digits < positions && (d = hexDigitValue(text.peek())) >= 0; ++digits, ++text.at) value = value * 16 + d;
    if (digits == 0) return -1;
    return (negative ? -value : value) & 0xFF;
}

}  // namespace

KitValues readKitValues(const char* data, size_t length, uint8_t* out, size_t capacity) {
    Text text = {reinterpret_cast<const unsigned char*>(data), reinterpret_cast<const unsigned char*>(data) + length};
    KitValues read = {0, false, false};
    int value;
    while (read.count < capacity && (value = readValue(text)) >= 0) out[read.count++] = static_cast<uint8_t>(value);
    Text after = text;
    read.more = read.count == capacity && readValue(after) >= 0;
    read.endOfText = read.count < capacity ? text.at == text.end : after.at == after.end;
    return read;
}

KitReading readKitFile(FILE* file, KitImage& image) {
    image.count = 0;
    // One byte past the bound tells whether the text goes on beyond it.
    std::unique_ptr<char[]> text(new char[KIT_TEXT_MAX_BYTES + 1]);
    size_t length = 0;
    for (size_t got; length <= KIT_TEXT_MAX_BYTES &&
                     (got = std::fread(text.get() + length, 1, KIT_TEXT_MAX_BYTES + 1 - length, file)) > 0;)
        length += got;
    if (std::ferror(file)) return KitReading::Failed;
    bool cut = length > KIT_TEXT_MAX_BYTES;
    if (cut) length = KIT_TEXT_MAX_BYTES;
    KitValues read = readKitValues(text.get(), length, image.bytes, KIT_MAX_VALUES);
    image.count = static_cast<uint16_t>(read.count);
    if (read.more) return KitReading::TooMany;
    if (cut && read.endOfText) return KitReading::Failed;  // the values go on past the bound
    return KitReading::Whole;
}

Outcome loadKitImage(const std::string& path, KitImage& image) {
    image.count = 0;
    FILE* file = openKitFile(path);
    if (file == nullptr) {
        consolePrint("Error: File '%s' is not found.\n\n", path.c_str());
        return Outcome::Stop;
    }
    consolePrint("OK: File '%s' is open.\n", path.c_str());
    KitReading reading = readKitFile(file, image);
    std::fclose(file);

    // A file that could not be read to its end, or holds more values than
    // the image can count: refuse rather than flash a cut-off image.
    if (reading != KitReading::Whole) {
        consolePrint("Error: The upgrade file is error!\n\n");
        return Outcome::Stop;
    }
    return Outcome::GoOn;
}

bool readKitFileFacts(const std::string& path, KitFileFacts& facts) {
    facts.bytes = 0;
    facts.sha256[0] = 0;
    FILE* file = openKitFile(path);
    if (file == nullptr) return false;
    Sha256 hash;
    sha256Begin(hash);
    unsigned char block[16384];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        sha256Add(hash, block, got);
        facts.bytes += got;
    }
    bool whole = !std::ferror(file);
    std::fclose(file);
    sha256End(hash, facts.sha256);
    return whole;
}
