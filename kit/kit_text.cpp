// Reading the kit's hex text. Values are read one after another by these
// rules, until the first read that yields no value:
//  - white space (0x09 to 0x0D, 0x20) before a value is skipped;
//  - an optional + or - takes the first of the value's two positions;
//  - an optional 0x or 0X prefix follows and takes no position;
//  - hex digits fill the remaining positions (two, or one after a sign) and
//    stop early before any other character, which starts the next value;
//  - a minus negates; the low 8 bits are stored;
//  - a read that finds no digit yields no value (end of file, a sign or
//    prefix at end of file, any other character where a digit must come).
// The text is scanned in large blocks; nothing is read per value.
#include <cstdio>
#include <cstring>

#include "core/console.h"
#include "core/sha256.h"
#include "kit/kit.h"
#include "kit/kit_files.h"

namespace {

// The fuzz build shrinks the block so that values straddle block ends often.
#ifndef KIT_TEXT_BLOCK
#define KIT_TEXT_BLOCK 65536
#endif
constexpr size_t TEXT_BLOCK = KIT_TEXT_BLOCK;
static_assert(TEXT_BLOCK > 4, "a block holds more than a read looks ahead");
constexpr size_t LOOKAHEAD = 2;  // the most a read looks ahead: "0x"

using FillFn = size_t (*)(void* source, unsigned char* into, size_t room);

struct KitText {
    unsigned char block[TEXT_BLOCK];
    size_t at;
    size_t end;
    bool drained;
    FillFn fill;
    void* source;
    bool failed;  // the source could not be read to its end
};

void refill(KitText& text) {
    size_t left = text.end - text.at;
    std::memmove(text.block, text.block + text.at, left);
    text.at = 0;
    text.end = left;
    while (!text.drained && text.end < TEXT_BLOCK) {
        size_t got = text.fill(text.source, text.block + text.end, TEXT_BLOCK - text.end);
        if (got == 0) text.drained = true;
        text.end += got;
        if (text.end - text.at > LOOKAHEAD) break;
    }
}

// The byte `ahead` places after the cursor, or -1 past the end of the text.
inline int peekAt(KitText& text, size_t ahead) {
    if (text.end - text.at <= ahead) {
        if (text.drained) return -1;
        refill(text);
        if (text.end - text.at <= ahead) return -1;
    }
    return text.block[text.at + ahead];
}

inline bool isKitSpace(int c) { return (c >= 0x09 && c <= 0x0D) || c == 0x20; }

inline int hexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// One value by the rules above: 0-255, or -1 when the read yields no value.
int readValue(KitText& text) {
    int c;
    while ((c = peekAt(text, 0)) >= 0 && isKitSpace(c)) ++text.at;
    if (c < 0) return -1;

    int positions = 2;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = (c == '-');
        ++text.at;
        positions = 1;
    }
    if (peekAt(text, 0) == '0') {
        int x = peekAt(text, 1);
        if (x == 'x' || x == 'X') text.at += 2;
    }

    int value = 0;
    int digits = 0;
    while (digits < positions) {
        int d = hexDigitValue(peekAt(text, 0));
        if (d < 0) break;
        value = value * 16 + d;
        ++text.at;
        ++digits;
    }
    if (digits == 0) return -1;
    if (negative) value = -value;
    return value & 0xFF;
}

// Reads up to `capacity` values, then tells whether one more would follow.
size_t readValues(KitText& text, uint8_t* out, size_t capacity, bool& more) {
    size_t count = 0;
    int value;
    while (count < capacity && (value = readValue(text)) >= 0) {
        out[count++] = static_cast<uint8_t>(value);
    }
    more = (count == capacity) && readValue(text) >= 0;
    return count;
}

// The 64 KiB scan block is too large for the stack of every caller.
KitText sharedText;

struct MemorySource {
    const char* data;
    size_t left;
};

size_t fillFromMemory(void* source, unsigned char* into, size_t room) {
    auto* memory = static_cast<MemorySource*>(source);
    size_t n = memory->left < room ? memory->left : room;
    std::memcpy(into, memory->data, n);
    memory->data += n;
    memory->left -= n;
    return n;
}

// A read that fails (a failing disk, a drive pulled out, a share that
// drops) ends the text like its end would: the C library's error indicator
// tells the two apart.
size_t fillFromFile(void* source, unsigned char* into, size_t room) {
    auto* file = static_cast<FILE*>(source);
    size_t got = std::fread(into, 1, room, file);
    if (got < room && std::ferror(file)) sharedText.failed = true;
    return got;
}

}  // namespace

size_t readKitValues(const char* data, size_t length, uint8_t* out, size_t capacity,
                     bool& more) {
    MemorySource memory = {data, length};
    KitText& text = sharedText;
    text.at = text.end = 0;
    text.drained = false;
    text.failed = false;
    text.fill = fillFromMemory;
    text.source = &memory;
    return readValues(text, out, capacity, more);
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

KitReading readKitFile(FILE* file, KitImage& image) {
    KitText& text = sharedText;
    text.at = text.end = 0;
    text.drained = false;
    text.failed = false;
    text.fill = fillFromFile;
    text.source = file;
    bool tooMany = false;
    image.count = static_cast<uint16_t>(readValues(text, image.bytes, KIT_MAX_VALUES, tooMany));
    if (text.failed) return KitReading::Failed;
    return tooMany ? KitReading::TooMany : KitReading::Whole;
}

bool readKitFileFacts(const std::string& path, KitFileFacts& facts) {
    facts.bytes = 0;
    facts.sha256[0] = 0;
    FILE* file = openKitFile(path);
    if (file == nullptr) return false;
    Sha256 hash;
    sha256Begin(hash);
    unsigned char* block = sharedText.block;  // free once the image is read
    size_t got;
    while ((got = std::fread(block, 1, TEXT_BLOCK, file)) > 0) {
        sha256Add(hash, block, got);
        facts.bytes += got;
    }
    bool whole = !std::ferror(file);
    std::fclose(file);
    sha256End(hash, facts.sha256);
    return whole;
}
