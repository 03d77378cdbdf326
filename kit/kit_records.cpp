// The walk over the image's records that checks each one before anything
// is sent.
#include "core/console.h"
#include "kit/kit.h"

Outcome validateKitImage(const KitImage& image) {
    for (uint32_t pos = 0; pos < image.count;) {
        // A record needs its two length bytes, a length of at least 2 (the
        // checksum word) and must end within the values read. A length of
        // 65534 or more wraps the 16-bit size below 4.
        KitRecord record = pos + 2 <= image.count ? kitRecordAt(image, static_cast<uint16_t>(pos)) : KitRecord{};
        if (record.size < 4 || pos + record.size > image.count) {
            consolePrint("Error: The upgrade file is error!\n\n");
            return Outcome::Stop;
        }
        const uint8_t* bytes = image.bytes + pos;
        uint16_t sum = static_cast<uint16_t>(bytes[record.size - 2] + 256 * bytes[record.size - 1]);
        for (uint16_t i = 2; i < record.size - 2; ++i) sum = static_cast<uint16_t>(sum + bytes[i]);
        if (sum != 0) {
            consolePrint("Error: The upgrade file is error!\n\n");
            return Outcome::Stop;
        }
        pos += record.size;
    }
    return Outcome::GoOn;
}

uint32_t kitRecordCount(const KitImage& image) {
    uint32_t records = 0;
    for (uint32_t pos = 0; pos < image.count; pos += kitRecordAt(image, static_cast<uint16_t>(pos)).size) ++records;
    return records;
}
