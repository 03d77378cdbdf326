// What the program needs of the computer besides MIDI and the console: one
// file per platform (platform_win.cpp, platform_posix.cpp, platform_web.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// The operating system and its version, for the run's account (Windows:
// its build, and the UseLegacyMidi setting where it is set; Linux: the
// kernel's release; the browser: its user agent).
void describeSystem(char* text, size_t room);
// The local date and time, ISO 8601 (2026-12-09T11:30:00+01:00).
void describeLocalTime(char* text, size_t room);

// Keeps the computer from going to sleep while the device is being
// written, and lets it sleep again afterwards. Nothing shows on the
// console. Only Windows lets a console program have a say; the page keeps
// the screen awake itself.
void keepSystemAwake();
void allowSystemSleep();

// A sleep never shorter than asked: a Sleep on Windows; on Linux a sleep to
// an absolute deadline, resumed after a signal, with the thread's timer
// slack at its least; in the browser a yield to the page that the browser
// does not stretch to its 4 ms timer clamp.
void sleepAtLeast(uint32_t milliseconds);
