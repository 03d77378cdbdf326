// Fuzzing the kit reader and the record walk: any bytes in, no crash, no
// read outside the values read, no endless loop, the values read exactly
// as a second, plainly written reader reads them, and an accepted image
// always a whole number of records with good checksums.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/console.h"
#include "tests/console_capture.h"
#include "kit/kit.h"

namespace {

bool isSpace(int c) { return (c >= 9 && c <= 13) || c == ' '; }

int digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The reading rules, one character index at a time.
std::vector<uint8_t> referenceRead(const uint8_t* text, size_t size, size_t limit) {
    std::vector<uint8_t> values;
    size_t i = 0;
    auto at = [&](size_t k) { return k < size ? static_cast<int>(text[k]) : -1; };
    while (values.size() < limit) {
        while (at(i) >= 0 && isSpace(at(i))) ++i;
        int width = 2;
        bool minus = false;
        if (at(i) == '+' || at(i) == '-') {
            minus = at(i) == '-';
            width = 1;
            ++i;
        }
        if (at(i) == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) i += 2;
        int value = 0, used = 0;
        while (used < width && digit(at(i)) >= 0) {
            value = value * 16 + digit(at(i));
            ++i;
            ++used;
        }
        if (used == 0) break;
        values.push_back(static_cast<uint8_t>((minus ? -value : value) & 0xFF));
    }
    return values;
}

KitImage image;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KitValues read = readKitValues(reinterpret_cast<const char*>(data), size, image.bytes, KIT_MAX_VALUES);
    size_t count = read.count;
    bool more = read.more;
    std::vector<uint8_t> expected = referenceRead(data, size, KIT_MAX_VALUES + 1);
    if (count != std::min<size_t>(expected.size(), KIT_MAX_VALUES) || more != (expected.size() > KIT_MAX_VALUES) ||
        (count > 0 && std::memcmp(image.bytes, expected.data(), count) != 0))
        std::abort();
    if (more) return 0;  // refused before the walk

    image.count = static_cast<uint16_t>(count);
    std::string said;
    consoleCaptureTo(&said);
    Outcome outcome = validateKitImage(image);
    consoleCaptureTo(nullptr);

    if (outcome == Outcome::Stop) {
        if (said != textFormat(Say::KitError)) std::abort();
        return 0;
    }
    if (!said.empty()) std::abort();
    // Accepted: the image is a whole number of records with good checksums.
    size_t pos = 0;
    while (pos < count) {
        if (pos + 2 > count) std::abort();
        size_t length = image.bytes[pos] * 256u + image.bytes[pos + 1];
        if (length < 2 || pos + length + 2 > count) std::abort();
        unsigned sum = image.bytes[pos + length] + 256u * image.bytes[pos + length + 1];
        for (size_t i = pos + 2; i < pos + length; ++i) sum += image.bytes[i];
        if (sum % 65536 != 0) std::abort();
        pos += length + 2;
    }
    if (pos != count) std::abort();
    return 0;
}
