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
// records must never be flashed. So is one whose values stop at a
// character when a whole record follows it (a stray character, a
// non-breaking space between records): its length field and as many values
// as that declares, whether its checksum holds or not, for a damaged record
// behind the stop is as much a cut-off image. A trailer that holds no
// record (a DOS end-of-file mark, a line of text) is no part of the kit.
// The text is read after a UTF-8 byte order mark, and a UTF-16 text (one
// that begins with its byte order mark) as the characters it encodes.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/console.h"
#include "core/run_log.h"
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
    KitValues read = {0, false, false, 0};
    int value;
    const unsigned char* stop = text.at;  // where the read that yields nothing began, past white space
    for (;;) {
        stop = text.at;
        while (stop < text.end && isKitSpace(*stop)) ++stop;
        if (read.count == capacity || (value = readValue(text)) < 0) break;
        out[read.count++] = static_cast<uint8_t>(value);
    }
    read.stop = static_cast<size_t>(stop - reinterpret_cast<const unsigned char*>(data));
    Text after = text;
    read.more = read.count == capacity && readValue(after) >= 0;
    read.endOfText = read.count < capacity ? text.at == text.end : after.at == after.end;
    return read;
}

bool kitRecordFollows(const char* data, size_t length, size_t from, uint8_t* scratch) {
    constexpr size_t MOST = 65537;  // a record of the largest length field
    for (size_t start = from; start < length; ++start) {
        Text probe = {reinterpret_cast<const unsigned char*>(data) + start,
                      reinterpret_cast<const unsigned char*>(data) + length};
        if (readValue(probe) < 0) continue;
        KitValues read = readKitValues(data + start, length - start, scratch, MOST);
        if (read.count < 2) return false;
        size_t size = scratch[0] * 256u + scratch[1] + 2u;
        return size >= 4 && read.count >= size;
    }
    return false;
}

namespace {

// The text of a UTF-16 file, in place: each unit below 0x80 as its ASCII
// character, any other (and an odd last byte) as 0x80, which no value
// begins with. Returns the text's length.
size_t decodeUtf16(unsigned char* bytes, size_t length, bool bigEndian) {
    size_t out = 0;
    for (size_t i = 2; i < length; i += 2) {
        unsigned unit = i + 1 < length ? (bigEndian ? bytes[i] * 256u + bytes[i + 1] : bytes[i + 1] * 256u + bytes[i])
                                       : 0x80u;
        bytes[out++] = static_cast<unsigned char>(unit < 0x80 ? unit : 0x80);
    }
    return out;
}

// Where the text begins, after a byte order mark: its offset, or the
// decoded length of a UTF-16 text (then at offset 0).
const char* textEncoding(unsigned char* bytes, size_t& length, size_t& begin) {
    begin = 0;
    if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        begin = 3;
        return "UTF-8 with a byte order mark";
    }
    if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        length = decodeUtf16(bytes, length, false);
        return "UTF-16, little-endian";
    }
    if (length >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        length = decodeUtf16(bytes, length, true);
        return "UTF-16, big-endian";
    }
    return "plain";
}

}  // namespace

KitReading readKitFile(FILE* file, KitImage& image, KitFileFacts* facts) {
    image.count = 0;
    KitFileFacts unused;
    KitFileFacts& said = facts != nullptr ? *facts : unused;
    said = KitFileFacts();
    // One byte past the bound tells whether the text goes on beyond it.
    std::unique_ptr<char[]> text(new char[KIT_TEXT_MAX_BYTES + 1]);
    size_t length = 0;
    for (size_t got; length <= KIT_TEXT_MAX_BYTES &&
                     (got = std::fread(text.get() + length, 1, KIT_TEXT_MAX_BYTES + 1 - length, file)) > 0;)
        length += got;
    bool failed = std::ferror(file) != 0;
    said.bytes = length;
    Sha256 hash;
    sha256Begin(hash);
    sha256Add(hash, reinterpret_cast<const unsigned char*>(text.get()), length);
    sha256End(hash, said.sha256);
    if (failed) return KitReading::Failed;

    bool cut = length > KIT_TEXT_MAX_BYTES;
    if (cut) length = KIT_TEXT_MAX_BYTES;
    size_t begin = 0;
    said.encoding = textEncoding(reinterpret_cast<unsigned char*>(text.get()), length, begin);
    KitValues read = readKitValues(text.get() + begin, length - begin, image.bytes, KIT_MAX_VALUES);
    image.count = static_cast<uint16_t>(read.count);
    said.stoppedAtEnd = read.endOfText;
    said.stopCharacter = read.endOfText ? 0 : static_cast<unsigned char>(text[begin + read.stop]);
    said.stoppedAt = read.stop;
    if (read.more) return KitReading::TooMany;
    if (cut && read.endOfText) return KitReading::Failed;  // the values go on past the bound
    // The image's room past the values it can count holds any one record.
    if (!read.endOfText &&
        kitRecordFollows(text.get() + begin, length - begin, read.stop + 1, image.bytes + KIT_MAX_VALUES))
        return KitReading::CutShort;
    return KitReading::Whole;
}

Outcome loadKitImage(const std::string& path, KitImage& image, KitFileFacts& facts) {
    image.count = 0;
    facts = KitFileFacts();
    FILE* file = openKitFile(path);
    if (file == nullptr) {
        consoleSay(Say::KitNotFound, path.c_str());
        return Outcome::Stop;
    }
    consoleSay(Say::KitOpen, path.c_str());
    KitReading reading = readKitFile(file, image, &facts);
    facts.opened = true;
    std::fclose(file);

    if (std::strcmp(facts.encoding, "plain") != 0) runLogLine("kit: its text is %s", facts.encoding);
    if (!facts.stoppedAtEnd)
        runLogLine("kit: the values stop at character %llu of the text (0x%02X), after %u values", facts.stoppedAt,
                   static_cast<unsigned>(facts.stopCharacter), static_cast<unsigned>(image.count));
    // A file that could not be read to its end, holds more values than the
    // image can count, or whose values stop short of a whole record: refuse
    // rather than flash a cut-off image.
    if (reading != KitReading::Whole) {
        runLogLine("kit refused: %s", reading == KitReading::TooMany  ? "more values than the image can count"
                                      : reading == KitReading::Failed ? "the file cannot be read to its end"
                                                                      : "a whole record follows where the values stop");
        consoleSay(Say::KitError);
        return Outcome::Stop;
    }
    return Outcome::GoOn;
}
