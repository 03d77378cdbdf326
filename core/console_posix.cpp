// The console where it is a POSIX terminal or a pipe: standard output, and
// the press-any-key pause, which no command interpreter offers here.
// On a terminal one key is read in raw mode and the terminal is restored
// afterwards, also when the wait is ended by Ctrl+C. Otherwise one byte is
// read; end of input or a closed standard input returns at once.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

#include "core/console.h"

namespace {

termios savedMode;
volatile sig_atomic_t rawModeActive = 0;
struct sigaction savedInt, savedTerm, savedHup;

void restoreTerminal() {
    if (rawModeActive) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
        rawModeActive = 0;
    }
}

void onSignal(int sig) {
    restoreTerminal();
    sigaction(SIGINT, &savedInt, nullptr);
    sigaction(SIGTERM, &savedTerm, nullptr);
    sigaction(SIGHUP, &savedHup, nullptr);
    raise(sig);
}

void readOneByte() {
    char c;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &c, 1);
    } while (n < 0 && errno == EINTR);
}

}  // namespace

void consoleSinkWrite(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }

void consoleFlush() { std::fflush(stdout); }

void consolePause() {
    std::fputs(textFormat(Say::PressAnyKey), stdout);
    std::fflush(stdout);

    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &savedMode) == 0) {
        struct sigaction handler = {};
        handler.sa_handler = onSignal;
        sigemptyset(&handler.sa_mask);
        sigaction(SIGINT, &handler, &savedInt);
        sigaction(SIGTERM, &handler, &savedTerm);
        sigaction(SIGHUP, &handler, &savedHup);

        termios raw = savedMode;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) rawModeActive = 1;
        readOneByte();
        restoreTerminal();

        sigaction(SIGINT, &savedInt, nullptr);
        sigaction(SIGTERM, &savedTerm, nullptr);
        sigaction(SIGHUP, &savedHup, nullptr);
    } else {
        readOneByte();
    }

    std::fputs("\n", stdout);
    std::fflush(stdout);
}
