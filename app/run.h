#pragma once

#include "protocol/target_profile.h"

// How a run left the device, as the page shows it at a glance: not touched
// (the kit refused, no unit, a wrong unit, no answer to identify), updated,
// updated and restarting, or an update that did not finish (the unit's
// firmware may be incomplete).
enum class RunVerdict { Untouched = 0, Updated = 1, Restarts = 2, Unfinished = 3 };

// The whole update run for a profile (the executable's own, or a test's);
// returns the exit code, always 0, and, where asked, how it left the device.
int runUpdateWith(const TargetProfile& profile, RunVerdict* verdict = nullptr);
