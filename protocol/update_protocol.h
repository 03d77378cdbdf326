// The update conversation with the target: the identify handshake and the
// record transfer.
#pragma once

#include <cstdint>

#include "core/outcome.h"
#include "protocol/target_profile.h"
#include "kit/kit.h"

// Counted down before each identify request; the requests end when it
// reaches 0, so at most 19 go out.
constexpr uint16_t IDENTIFY_COUNTDOWN = 20;
constexpr uint16_t IDENTIFY_POLLS = 100;
// The input listens this long before the first request: at least 10 ms,
// however fast the platform's timer runs (156 ms at Windows' default tick).
constexpr uint16_t EARLY_MESSAGE_POLLS = 10;
constexpr uint16_t ACK_POLLS_SHORT = 50;
constexpr uint16_t ACK_POLLS_LONG = 200;
constexpr uint16_t LONG_WAIT_PERCENT = 85;
constexpr uint8_t MAX_FAILURES = 20;
constexpr uint32_t CHUNK_PAUSE_MS = 1;  // after every chunk sent

// Sends the profile's identify request until the target answers, and
// judges the answer against `deviceId`.
Outcome identifyTarget(const TargetProfile& profile, uint8_t deviceId);

// How a transfer ended: every record acknowledged, the device's restart
// answer, or given up (the device's firmware may then be incomplete).
enum class TransferEnd { Updated, Restarts, Unfinished };

// Sends every record of the validated image, with acknowledgement, resend
// and the progress line. What it prints tells the owner how it ended; the
// page also shows it at a glance.
TransferEnd transferImage(const KitImage& image);
