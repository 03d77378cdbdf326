// The emulated device's script and log as text, so that a test can hand a
// script to the Windows test double in another process and read back what
// it saw.
#pragma once

#include <string>

#include "sim/emulation.h"

// The bytes as upper-case hex digits.
std::string hexText(const SimBytes& bytes);
// Hex digits as bytes ("-" for none); false if they are not pairs of digits.
bool parseHex(const std::string& text, SimBytes& bytes);
// The text as a JSON string, quoted and escaped.
std::string jsonQuoted(const std::string& text);

std::string simScriptText(const SimScript& script);
bool parseSimScript(const std::string& text, SimScript& script);

// Only what a test compares: messages sent, port events, device errors.
std::string simLogText(const SimLog& log);
bool parseSimLog(const std::string& text, SimLog& log);
