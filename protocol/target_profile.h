// Target profiles: the constants that differ between the hardware variants.
// Each executable is built for exactly one of them; the entry chooses it
// when the executable is built.
#pragma once

#include <cstdint>

struct TargetProfile {
    const char* banner;           // first console line, printed as it stands
    uint8_t deviceId;             // the identify reply the target must give
    uint8_t identifyRequest[7];   // signature, CMD_IDENTIFY, variant byte, device id
};

inline constexpr TargetProfile STANDARD_PROFILE = {
    "VORNACEL Update V0.1 -> Calvenor Pro System\n",
    0x48,
    {0x35, 0x0E, 0x62, 0x19, 0x1C, 0x17, 0x48},
};

inline constexpr TargetProfile GD32_PROFILE = {
    "VORNACEL Update GD32 V0.1 -> Calvenor Pro System\n",
    0x58,
    {0x35, 0x0E, 0x62, 0x19, 0x1C, 0x21, 0x58},
};

static_assert(STANDARD_PROFILE.identifyRequest[6] == STANDARD_PROFILE.deviceId,
              "the identify request ends with the device id");
static_assert(GD32_PROFILE.identifyRequest[6] == GD32_PROFILE.deviceId,
              "the identify request ends with the device id");
