#include "core/run_log.h"

#include "core/regular_file.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr size_t LOG_BUFFER_BYTES = 64 * 1024;  // far more than one record's lines

struct RunLog {
    FILE* file = nullptr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    char buffer[LOG_BUFFER_BYTES];
} runLog;

// A write that fails (a full disk) ends the account; the run goes on.
void checkWritten() {
    if (runLog.file != nullptr && std::ferror(runLog.file)) {
        std::fclose(runLog.file);
        runLog.file = nullptr;
    }
}


void put(const char* text) { std::fputs(text, runLog.file); }

void stamp() { std::fprintf(runLog.file, "[%7lu ms] ", static_cast<unsigned long>(runLogMillis())); }

}  // namespace

void runLogBegin() {
    runLogEnd();
    runLog.start = std::chrono::steady_clock::now();
    struct stat info;
    if (stat(RUN_LOG_NAME, &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG && info.st_size > RUN_LOG_ROTATE_BYTES) {
        std::remove(RUN_LOG_OLD_NAME);
        std::rename(RUN_LOG_NAME, RUN_LOG_OLD_NAME);
    }
    runLog.file = openRegularFile(RUN_LOG_NAME, true);
    if (runLog.file == nullptr) return;
    std::setvbuf(runLog.file, runLog.buffer, _IOFBF, sizeof runLog.buffer);
    put("\n======== update: one run ========\n");
    checkWritten();
}

void runLogEnd() {
    if (runLog.file == nullptr) return;
    put("======== end of the run ========\n");
    std::fclose(runLog.file);
    runLog.file = nullptr;
}

void runLogFlush() {
    if (runLog.file == nullptr) return;
    std::fflush(runLog.file);
    checkWritten();
}

void runLogLine(const char* format, ...) {
    if (runLog.file == nullptr) return;
    stamp();
    va_list args;
    va_start(args, format);
    std::vfprintf(runLog.file, format, args);
    va_end(args);
    std::fputc('\n', runLog.file);
    checkWritten();
}

void runLogBytes(const char* label, const uint8_t* bytes, size_t length) {
    if (runLog.file == nullptr) return;
    stamp();
    put(label);
    for (size_t i = 0; i < length; ++i) std::fprintf(runLog.file, " %02X", bytes[i]);
    std::fputc('\n', runLog.file);
    checkWritten();
}

void runLogConsole(const char* text, size_t length) {
    if (runLog.file == nullptr) return;
    stamp();
    put("console \"");
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            put("\\r");
        } else if (c == '\n') {
            put("\\n");
        } else if (c == '"' || c == '\\') {
            std::fputc('\\', runLog.file);
            std::fputc(c, runLog.file);
        } else if (c < 0x20 || c == 0x7F) {
            std::fprintf(runLog.file, "\\x%02X", c);
        } else {
            std::fputc(c, runLog.file);
        }
    }
    put("\"\n");
    checkWritten();
}

uint32_t runLogMillis() {
    auto elapsed = std::chrono::steady_clock::now() - runLog.start;
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}
