#include "core/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/pause.h"
#include "core/run_log.h"

namespace {
std::string* captured = nullptr;
std::string* flushedCopy = nullptr;
size_t flushedUpTo = 0;  // of *captured
}

void consoleCaptureTo(std::string* capture, std::string* flushed) {
    captured = capture;
    flushedCopy = capture != nullptr ? flushed : nullptr;
    flushedUpTo = capture != nullptr ? capture->size() : 0;
}

namespace {

// What the console shows goes to standard output (or the capture) and to
// the run's account, byte for byte.
void show(const char* text, size_t length) {
    if (captured == nullptr) {
        std::fwrite(text, 1, length, stdout);
    } else {
        captured->append(text, length);
    }
    runLogConsole(text, length);
}

void showFormatted(const char* format, va_list args) {
    char small[1024];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        show(small, static_cast<size_t>(n));
    } else if (n >= 0) {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::vsnprintf(&big[0], big.size(), format, again);
        show(big.data(), static_cast<size_t>(n));
    }
    va_end(again);
}

}  // namespace

void consolePrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    showFormatted(format, args);
    va_end(args);
}

void consoleNote(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fputs(text, stderr);
    size_t n = std::strlen(text);
    if (n > 0 && text[n - 1] == '\n') text[n - 1] = 0;
    runLogLine("note on the error stream: %s", text);
}

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
void consolePrintFormat(const char* format) { consolePrint(format); }
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

void consoleFlush() {
    if (captured == nullptr) {
        std::fflush(stdout);
        return;
    }
    if (flushedCopy != nullptr) flushedCopy->append(*captured, flushedUpTo, std::string::npos);
    flushedUpTo = captured->size();
}

void consolePause() {
    if (captured != nullptr) {
        captured->append("Press any key to continue . . . \n");
        consoleFlush();  // the pause flushes its prompt and all before it
        return;
    }
    platformPause();
}
