// The walk over the image's records that checks each one before anything
// is sent.
#include "core/console.h"
#include "core/run_log.h"
#include "kit/kit.h"

namespace {

Outcome refuse(const char* why, uint32_t record, uint32_t pos) {
    runLogLine("kit refused: record %lu (at %lu) %s", static_cast<unsigned long>(record), static_cast<unsigned long>(pos),
               why);
    consoleSay(Say::KitError);
    return Outcome::Stop;
}

}  // namespace

// A kit with no record at all (empty, white space only, nothing readable)
// is refused too: there is nothing to update the device with.
Outcome validateKitImage(const KitImage& image) {
    if (image.count == 0) {
        runLogLine("kit refused: no record");
        consoleSay(Say::KitError);
        return Outcome::Stop;
    }
    uint32_t number = 1;
    for (uint32_t pos = 0; pos < image.count; ++number) {
        // A record needs its two length bytes, a length of at least 2 (the
        // checksum word) and must end within the values read. A length of
        // 65534 or more wraps the 16-bit size below 4.
        KitRecord record = pos + 2 <= image.count ? kitRecordAt(image, static_cast<uint16_t>(pos)) : KitRecord{};
        if (record.size < 4 || pos + record.size > image.count)
            return refuse("does not fit its length field", number, pos);
        const uint8_t* bytes = image.bytes + pos;
        uint16_t sum = static_cast<uint16_t>(bytes[record.size - 2] + 256 * bytes[record.size - 1]);
        for (uint16_t i = 2; i < record.size - 2; ++i) sum = static_cast<uint16_t>(sum + bytes[i]);
        if (sum != 0) return refuse("fails its checksum", number, pos);
        pos += record.size;
    }
    return Outcome::GoOn;
}

uint32_t kitRecordCount(const KitImage& image) {
    uint32_t records = 0;
    for (uint32_t pos = 0; pos < image.count; pos += kitRecordAt(image, static_cast<uint16_t>(pos)).size) ++records;
    return records;
}
