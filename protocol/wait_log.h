// The protocol's lines of the run's account (core/run_log.h).
#pragma once

#include <cstdint>

// How an attempt's wait ended: after `polls` polls, with the latest
// message's `replyBytes` (0: none came).
void logWaitEnd(int16_t replyBytes, uint16_t polls);
