// Console output of the run. What the console shows is one of its fixed
// texts (core/console_texts.h) or the target profile's banner, and goes to
// the console the executable links and into the run's account, byte for
// byte.
#pragma once

#include <cstddef>

#include "core/console_texts.h"

// Prints a fixed text with the arguments its format asks for.
void consoleSay(Say text, ...);
// A line break: before a text that ends the transfer's progress line, and
// after the last success text.
void consoleNewLine();
// The target profile's banner, as it stands.
void consoleBanner(const char* banner);

// A note about the platform for whoever reads the error stream, never
// captured: not part of the run's texts.
void consoleNote(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The console itself, one file per platform (console_win.cpp,
// console_posix.cpp, console_web.cpp); the tests link a capture instead.
void consoleSinkWrite(const char* text, size_t length);
void consoleFlush();
// The end of the run: the press-any-key pause (Windows: the command
// interpreter's "pause"; Linux: one key; the page: its Start again).
void consolePause();
