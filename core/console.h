// Console output of the run. Every text is printed as a printf format.
// Tests can capture the output instead of writing it to standard output.
//
// The texts the program prints are the product's fixed wording, which the
// device's owners and its documentation know, typos and odd spacing
// included ("audiol", "fit file", "Error:Does"). Never correct them.
#pragma once

#include <string>

void consolePrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// A note about the platform for whoever reads the error stream, never
// captured: not part of the run's fixed texts.
void consoleNote(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Prints a format that takes no arguments and is not a literal (the banner).
void consolePrintFormat(const char* format);
void consoleFlush();

// Prints the press-any-key prompt and waits for one key (platform specific).
// While output is captured, the prompt and its line end go to the capture
// and nothing is read.
void consolePause();

// Sends all further console output to `capture` (appended), or back to
// standard output when `capture` is null. `flushed`, if given, receives
// only what has been flushed, as a pipe or file would: every flush and the
// pause append what was printed since the flush before.
void consoleCaptureTo(std::string* capture, std::string* flushed = nullptr);
