// The emulated device's script and log as text, so that a test can hand a
// script to the Windows test double in another process and read back what
// it saw.
#pragma once

#include <map>
#include <string>

#include "sim/emulation.h"

// What only the WinMM test double plays: the Windows driver's habits and
// the device interfaces its ports tell.
struct WinmmHabits {
    // How often the driver answers that it still uses each message sent
    // (1000: for good; the classic stack).
    uint32_t driverHolds = 0;
    // WinMM served by the Windows MIDI Services MIDI service rather than
    // the classic stack.
    bool servicePath = false;
    // The interface query answers an empty string for every port.
    bool emptyInterfaces = false;
    // On the service path, the Nth message sent (from 1) stalls: the send
    // fails after 1 s, the message reaches the device only as the port
    // closes, and every later send fails at once. 0: none.
    uint32_t stallSendAt = 0;
    // The device interface of a port, by the port's name, as WinMM's
    // interface query gives it (none: the double's default).
    std::map<std::string, std::string> interfaceOf;
    // What queuing an input's receive buffers answers, by the port's name
    // (none: success).
    std::map<std::string, MidiResult> buffersResultOf;
};

// A test's script: the emulated device and its ports, and the habits the
// WinMM double plays where the run goes through it.
struct TestScript : SimScript {
    WinmmHabits winmm;
};

// The bytes as upper-case hex digits.
std::string hexText(const SimBytes& bytes);
// Hex digits as bytes ("-" for none); false if they are not pairs of digits.
bool parseHex(const std::string& text, SimBytes& bytes);
// The text as a JSON string, quoted and escaped.
std::string jsonQuoted(const std::string& text);

std::string simScriptText(const TestScript& script);
bool parseSimScript(const std::string& text, TestScript& script);

// Only what a test compares: messages sent, port events, device errors.
std::string simLogText(const SimLog& log);
bool parseSimLog(const std::string& text, SimLog& log);
