#include "core/console.h"

#include <cstdarg>
#include <cstdio>

#include "core/pause.h"

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

void consolePrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (captured == nullptr) {
        std::vfprintf(stdout, format, args);
    } else {
        char small[512];
        va_list again;
        va_copy(again, args);
        int n = std::vsnprintf(small, sizeof small, format, args);
        if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
            captured->append(small, static_cast<size_t>(n));
        } else if (n >= 0) {
            std::string big(static_cast<size_t>(n) + 1, '\0');
            std::vsnprintf(&big[0], big.size(), format, again);
            big.resize(static_cast<size_t>(n));
            captured->append(big);
        }
        va_end(again);
    }
    va_end(args);
}

void consoleNote(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
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
