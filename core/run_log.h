// The run's account: update-log.txt in the folder the program runs in (the
// kit's folder), plain text for the owner to send to the maker's support.
// Each run appends one account, begun with a header; a log over 1 MiB at
// the start of a run is first renamed update-log.old.txt (one generation).
//
// Every line carries the milliseconds since the run began. The account is
// written as the run goes, into a buffer that reaches the file when it
// fills and at runLogFlush (after each record, before the ports are
// released), so that nothing is written per chunk and an unplug or a crash
// leaves the account up to the last flush. Where the log cannot be
// written (a read-only folder, a full disk), nothing changes and nothing
// is said: the console, the wire and the outcome are the run's alone.
// The account holds no user name and no path outside the folder.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr const char* RUN_LOG_NAME = "update-log.txt";
constexpr const char* RUN_LOG_OLD_NAME = "update-log.old.txt";
constexpr long RUN_LOG_ROTATE_BYTES = 1L << 20;

// Starts the account (renaming a log that has grown too long first) with
// its opening line; the run's clock starts here.
void runLogBegin();
// Ends the account and closes the log.
void runLogEnd();
void runLogFlush();

// One line of the account, after the time since the run began.
void runLogLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// One line: `label`, then `bytes` as hex, separated by blanks.
void runLogBytes(const char* label, const uint8_t* bytes, size_t length);
// One line: "console", then the text the console showed, quoted, with
// \r, \n, \", \\ and other control characters escaped (\xNN).
void runLogConsole(const char* text, size_t length);

// Milliseconds since runLogBegin.
uint32_t runLogMillis();
