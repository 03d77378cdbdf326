// Writes a sample kit file of valid records: make-sample-kit FILE [RECORDS [PAYLOAD]]
#include <cstdio>
#include <cstdlib>

#include "tools/kit_writer.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: make-sample-kit FILE [RECORDS [PAYLOAD_BYTES]]\n");
        return 2;
    }
    size_t records = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 120;
    size_t payload = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 28;
    if (records * (payload + 4) > 65535 || payload > 65531) {
        std::fprintf(stderr, "make-sample-kit: a kit holds at most 65535 bytes\n");
        return 2;
    }
    if (!writeTextFile(argv[1], kitText(makeSampleImage(records, payload, 1)))) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
