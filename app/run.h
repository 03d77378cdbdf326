#pragma once

#include "protocol/target_profile.h"

// The whole update run for a profile (the executable's own, or a test's);
// returns the exit code, always 0.
int runUpdateWith(const TargetProfile& profile);
