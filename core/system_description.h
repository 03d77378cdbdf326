// What the run's account says of the computer, one file per platform.
#pragma once

#include <cstddef>

// The operating system and its version (Windows: its build, and the
// UseLegacyMidi setting where it is set; Linux: the kernel's release).
void describeSystem(char* text, size_t room);
// The local date and time, ISO 8601 (2026-12-09T11:30:00+01:00).
void describeLocalTime(char* text, size_t room);
