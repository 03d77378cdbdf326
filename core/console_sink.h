// Where the console's text goes, chosen when linking as the MIDI back end
// is: standard output and the platform's pause in the executables
// (console_stdout.cpp), a capture in the tests (tests/console_capture.cpp).
#pragma once

#include <cstddef>

void consoleSinkWrite(const char* text, size_t length);
void consoleSinkFlush();
// The press-any-key pause.
void consoleSinkPause();
