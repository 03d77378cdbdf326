// Console output of the run. Every text is printed as a printf format, to
// the console sink the executable links (console_sink.h) and into the run's
// account.
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
void consolePause();
