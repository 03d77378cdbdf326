// Writes a zip archive that depends on nothing but the files' contents, their
// names and one time: entries stored (not compressed) in the order given,
// every entry with the same modification time and no system-specific fields.
//   make-zip ARCHIVE EPOCH NAME=FILE ...
// EPOCH: seconds since 1970 (SOURCE_DATE_EPOCH), stored as its UTC time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

uint32_t crc32(const std::string& data) {
    uint32_t table[256];
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

struct Entry {
    std::string name;
    std::string data;
    uint32_t crc;
    uint32_t offset;
};

// The fields a local header and the central directory's header share, from
// "version needed" to the (empty) extra field's length.
void putSharedFields(std::string& out, const Entry& e, uint32_t dosTime, uint32_t dosDate) {
    put16(out, 10);  // version needed: 1.0
    put16(out, 0);   // flags
    put16(out, 0);   // stored
    put16(out, dosTime);
    put16(out, dosDate);
    put32(out, e.crc);
    put32(out, static_cast<uint32_t>(e.data.size()));
    put32(out, static_cast<uint32_t>(e.data.size()));
    put16(out, static_cast<uint32_t>(e.name.size()));
    put16(out, 0);  // no extra field
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make-zip ARCHIVE EPOCH NAME=FILE ...\n");
        return 2;
    }
    std::time_t epoch = static_cast<std::time_t>(std::strtoll(argv[2], nullptr, 10));
    std::tm t = *std::gmtime(&epoch);
    uint32_t dosTime = static_cast<uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    uint32_t dosDate = static_cast<uint32_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);

    std::vector<Entry> entries;
    for (int i = 3; i < argc; ++i) {
        std::string argument = argv[i];
        size_t eq = argument.find('=');
        std::ifstream in(argument.substr(eq + 1), std::ios::binary);
        if (eq == std::string::npos || !in) {
            std::fprintf(stderr, "make-zip: cannot read %s\n", argument.c_str());
            return 1;
        }
        std::stringstream data;
        data << in.rdbuf();
        entries.push_back({argument.substr(0, eq), data.str(), 0, 0});
    }

    std::string out;
    for (Entry& e : entries) {
        e.crc = crc32(e.data);
        e.offset = static_cast<uint32_t>(out.size());
        put32(out, 0x04034B50);  // local file header
        putSharedFields(out, e, dosTime, dosDate);
        out += e.name;
        out += e.data;
    }
    uint32_t directory = static_cast<uint32_t>(out.size());
    for (const Entry& e : entries) {
        put32(out, 0x02014B50);  // central directory header
        put16(out, 10);          // made by: MS-DOS, 1.0
        putSharedFields(out, e, dosTime, dosDate);
        put16(out, 0);  // comment
        put16(out, 0);  // disk
        put16(out, 0);  // internal attributes
        put32(out, 0);  // external attributes
        put32(out, e.offset);
        out += e.name;
    }
    uint32_t directorySize = static_cast<uint32_t>(out.size()) - directory;
    put32(out, 0x06054B50);  // end of central directory
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint32_t>(entries.size()));
    put16(out, static_cast<uint32_t>(entries.size()));
    put32(out, directorySize);
    put32(out, directory);
    put16(out, 0);

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << out;
    return file ? 0 : 1;
}
