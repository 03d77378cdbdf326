// Helpers shared by the tests: a fresh temporary folder and running a
// program in it with standard input closed.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/console_texts.h"

// A fixed text of the console as the program prints it with `...`.
inline std::string sayText(Say text, ...) {
    char shown[512];
    va_list args;
    va_start(args, text);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    std::vsnprintf(shown, sizeof shown, textFormat(text), args);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    va_end(args);
    return shown;
}

// A fresh, empty folder that is removed with everything in it at the end.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// What the pause prints when standard input is closed: the program's own
// prompt on Linux; under Wine, the command interpreter's "pause" prints its
// own wording (Windows prints "Press any key to continue . . . ").
#ifdef _WIN32
inline const std::string EXECUTABLE_PAUSE_TEXT = "Press any key to continue... ";
#else
inline const std::string EXECUTABLE_PAUSE_TEXT = sayText(Say::PressAnyKey) + "\n";
#endif

// A fresh folder that is the working folder while this lives.
struct WorkingFolder : TempFolder {
    WorkingFolder();
    ~WorkingFolder();
    std::string previous;
};

struct ProgramRun {
    std::string out;
    std::vector<std::string> outReads;  // standard output as each read from the pipe got it

    std::string err;
    int exitCode = -1;  // -1 when the program did not exit normally
};

// Runs `program` in `folder` with standard input closed and `args` (POSIX
// only; on Windows none). On Windows, `out` is the console text with text
// mode's "\r\n" line ends turned back into "\n".
ProgramRun runProgram(const std::string& program, const std::string& folder,
                      const std::vector<std::string>& args = {});

// Whether `text` begins, or ends, with `part`.
inline bool startsWith(const std::string& text, const std::string& part) { return text.rfind(part, 0) == 0; }
inline bool endsWith(const std::string& text, const std::string& part) {
    return text.size() >= part.size() && text.compare(text.size() - part.size(), part.size(), part) == 0;
}

// The whole file's bytes; empty if it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

#ifdef _WIN32
// A Unix path as Wine's drive for the Unix root shows it.
std::string nativePath(const std::string& path);
#endif

// Sets (or, with "", removes) a variable of this process's environment,
// which the programs it runs inherit.
void setEnvironment(const std::string& name, const std::string& value);

// Makes `path` a directory.
void makeFolder(const std::string& path);
// Makes `path` a named pipe (POSIX only).
void makeFifo(const std::string& path);

// The SHA-256 of `bytes`, as the run's account writes it.
std::string sha256Hex(const std::string& bytes);
