#pragma once

#include "app/profile.h"

// The whole update run for the executable's own profile; returns the exit
// code (always 0).
int runUpdate();

// The run for a given profile: what runUpdate does with the build's profile.
int runUpdateWith(const TargetProfile& profile);
