#include "tests/console_capture.h"

#include <cstdio>
#include <cstring>

#include "core/console.h"

namespace {
std::string* captured = nullptr;
std::string* flushedCopy = nullptr;
size_t flushedUpTo = 0;  // of *captured
}  // namespace

void consoleCaptureTo(std::string* capture, std::string* flushed) {
    captured = capture;
    flushedCopy = capture != nullptr ? flushed : nullptr;
    flushedUpTo = capture != nullptr ? capture->size() : 0;
}

void consoleSinkWrite(const char* text, size_t length) {
    if (captured == nullptr) {
        std::fwrite(text, 1, length, stdout);
    } else {
        captured->append(text, length);
    }
}

void consoleFlush() {
    if (captured == nullptr) {
        std::fflush(stdout);
        return;
    }
    if (flushedCopy != nullptr) flushedCopy->append(*captured, flushedUpTo, std::string::npos);
    flushedUpTo = captured->size();
}

// No key is read in the tests: the prompt is shown, and captured while a
// capture is on.
void consolePause() {
    const char* prompt = textFormat(Say::PressAnyKey);
    consoleSinkWrite(prompt, std::strlen(prompt));
    consoleSinkWrite("\n", 1);
    consoleFlush();
}
