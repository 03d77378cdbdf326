// The MIDI link to the device: device checks, opening and closing the ports,
// sending System Exclusive messages and capturing the replies.
#pragma once

#include <cstdint>

#include "core/outcome.h"

constexpr uint16_t SYSEX_MAX_PAYLOAD = 46;  // payload bytes of one message

// Checks that exactly one MIDI input port exists and chooses where the
// output port search starts.
Outcome probeMidiDevices(uint16_t& outputStart);

// Open the first usable port from `first` on; 0 or the back end's error code.
uint16_t openMidiIn(uint16_t first);
uint16_t openMidiOut(uint16_t first);

// Close the port if it is open: 1 if one was closed, else 0. The input
// first forgets what has arrived, writing it to the run's account.
int closeMidiIn();
int closeMidiOut();

// Sends the payload framed as 0xF0 ... 0xF7, then lets at least `pauseMs`
// pass, sent or not (the device's pace between a record's chunks; 0 for
// none). The send returns when the back end's does (WinMM: the driver has
// let go of it; Linux: it is in the kernel's sequencer). 0 or the back
// end's error code. A payload over 46 bytes sends nothing.
uint16_t sendSysEx(const uint8_t* payload, uint16_t length, uint32_t pauseMs);

// Bytes of the latest input message taken from the port, 0 once taken.
int16_t replyCount();

// Clears the count and returns the reply code of the latest message.
uint8_t takeReplyCode();

// Forgets what has arrived (the count to 0, as takeReplyCode clears it),
// including what the back end still holds, an unfinished message too:
// called just before an attempt's last message starts out, so that the
// attempt takes only a reply to itself. A reply to that message can come
// before its send returns, never before the send starts.
void forgetReplies();

// Listens for `polls` polls and forgets every message that arrives
// meanwhile; returns how many there were. A USB device hands the host what
// it sent before the port listened (a power-up announcement, the answer of
// an interrupted run) only once the port listens, a few milliseconds
// later: this lets it come before the first request goes out.
uint16_t forgetEarlyMessages(uint16_t polls);

// One poll of a reply wait: the platform's poll length (a 1 ms sleep on
// Windows), or less if a whole message from the device comes meanwhile.
// Every message that came is written to the run's account; the latest is
// the one replyCount and takeReplyCode tell of.
void awaitReply();

// How many messages of 2 bytes or more the input has received since the
// program started, whether taken or forgotten (not those of the early
// listening, which answer no request): the device answers each request it
// takes once, so this against the requests sent tells what is still owed.
uint32_t answersReceived();
