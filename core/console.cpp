#include "core/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/run_log.h"

namespace {

// What the console shows goes to the sink and to the run's account, byte
// for byte.
void show(const char* text, size_t length) {
    consoleSinkWrite(text, length);
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

// The texts' formats are the table's, so none is a literal here.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
void consoleSay(Say text, ...) {
    va_list args;
    va_start(args, text);
    showFormatted(textFormat(text), args);
    va_end(args);
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

void consoleNewLine() { show("\n", 1); }

void consoleBanner(const char* banner) { show(banner, std::strlen(banner)); }

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

