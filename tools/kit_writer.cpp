#include "tools/kit_writer.h"

#include <cstdio>

Bytes makeKitRecord(const Bytes& payload) {
    size_t length = payload.size() + 2;
    uint16_t sum = 0;
    for (uint8_t b : payload) sum = static_cast<uint16_t>(sum + b);
    uint16_t checksum = static_cast<uint16_t>(0x10000 - sum);
    Bytes record;
    record.reserve(length + 2);
    record.push_back(static_cast<uint8_t>(length >> 8));
    record.push_back(static_cast<uint8_t>(length & 0xFF));
    record.insert(record.end(), payload.begin(), payload.end());
    record.push_back(static_cast<uint8_t>(checksum & 0xFF));
    record.push_back(static_cast<uint8_t>(checksum >> 8));
    return record;
}

Bytes makeSampleImage(size_t recordCount, size_t payloadBytes, uint32_t seed) {
    Bytes image;
    uint32_t state = seed * 2654435761u + 1;
    for (size_t r = 0; r < recordCount; ++r) {
        Bytes payload(payloadBytes);
        for (auto& b : payload) {
            state = state * 1103515245u + 12345u;
            b = static_cast<uint8_t>(state >> 16);
        }
        Bytes record = makeKitRecord(payload);
        image.insert(image.end(), record.begin(), record.end());
    }
    return image;
}

std::string kitText(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3 + 1);
    for (size_t i = 0; i < bytes.size(); ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? '\n' : ' ';
    }
    return text;
}

bool writeTextFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}
