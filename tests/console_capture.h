// The tests' console (console_capture.cpp, linked in place of the
// executables' console, core/console_<platform>.cpp): the program's text can be captured.
#pragma once

#include <string>

// Sends all further console output to `capture` (appended), or back to
// standard output when `capture` is null. `flushed`, if given, receives
// only what has been flushed, as a pipe or file would: every flush and the
// pause append what was printed since the flush before. While output is
// captured, the pause appends its prompt and a line end; it never reads a
// key.
void consoleCaptureTo(std::string* capture, std::string* flushed = nullptr);
