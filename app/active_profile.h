// The profile this executable is built for. The build defines
// UPDATE_PROFILE_GD32 as 1 for the GD32 executable and 0 otherwise;
// nothing chooses a profile at run time.
#pragma once

#include "protocol/target_profile.h"

#ifndef UPDATE_PROFILE_GD32
#error "UPDATE_PROFILE_GD32 must be defined by the build (0 or 1)"
#endif

#if UPDATE_PROFILE_GD32
constexpr const TargetProfile& ACTIVE_PROFILE = GD32_PROFILE;
#else
constexpr const TargetProfile& ACTIVE_PROFILE = STANDARD_PROFILE;
#endif
