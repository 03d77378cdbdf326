// The hex encoding of bytes and the chunking of records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/kit_writer.h"
#include "protocol/wire.h"

namespace {

std::string hex(uint8_t v) {
    char out[2];
    hexEncodeByte(v, out);
    return std::string(out, 2);
}

TEST(Wire, HexEncodeByteIsUpperCaseHighNibbleFirst) {
    EXPECT_EQ(hex(0x00), "00");
    EXPECT_EQ(hex(0x9F), "9F");
    EXPECT_EQ(hex(0xFF), "FF");
    EXPECT_EQ(hex(0x0A), "0A");
    EXPECT_EQ(hex(0xA0), "A0");
    for (int v = 0; v < 256; ++v) {
        std::string s = hex(static_cast<uint8_t>(v));
        EXPECT_EQ(std::stoi(s, nullptr, 16), v);
        EXPECT_EQ(s.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
}

// The chunks a record of `size` bytes at `pos` travels in.
std::vector<std::string> chunksOf(const Bytes& image, uint16_t pos, uint16_t size) {
    std::vector<std::string> chunks;
    uint16_t remaining = size;
    char text[100];
    while (remaining != 0) {
        uint16_t bytes = chunkBytes(remaining);
        uint16_t n = encodeChunk(image.data() + pos + size - remaining, bytes, text);
        chunks.emplace_back(text, n);
        remaining = static_cast<uint16_t>(remaining - bytes);
    }
    return chunks;
}

TEST(Wire, RecordsSplitIntoChunksOf46CharactersAndAShortTail) {
    struct Case {
        uint16_t size;
        std::vector<size_t> lengths;
    } cases[] = {
        {6, {12}},
        {23, {46}},
        {24, {46, 2}},
        {46, {46, 46}},
        {302, {46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 46, 6}},
    };
    for (const auto& c : cases) {
        Bytes record = makeKitRecord(Bytes(c.size - 4, 0x5A));
        // Put another record in front, so the chunks start mid-image.
        Bytes image = makeKitRecord({0x01});
        uint16_t pos = static_cast<uint16_t>(image.size());
        image.insert(image.end(), record.begin(), record.end());

        auto chunks = chunksOf(image, pos, c.size);
        std::vector<size_t> lengths;
        std::string joined;
        for (const auto& chunk : chunks) {
            lengths.push_back(chunk.size());
            joined += chunk;
        }
        EXPECT_EQ(lengths, c.lengths) << "size " << c.size;
        std::string expected;
        for (uint8_t b : record) expected += hex(b);
        EXPECT_EQ(joined, expected) << "size " << c.size;
    }
}

}  // namespace
