// SHA-256 (FIPS 180-4), for the run's account of the kit file.
#pragma once

#include <cstddef>
#include <cstdint>

struct Sha256 {
    uint32_t state[8];
    uint64_t bytes;
    uint8_t block[64];
    size_t used;
};

void sha256Begin(Sha256& hash);
void sha256Add(Sha256& hash, const uint8_t* data, size_t length);
// The digest as 64 lower-case hex digits and an end mark.
void sha256End(Sha256& hash, char hex[65]);
