// The decisions of the ALSA sequencer back end, kept free of the sequencer
// so they can be tested: which sequencer ports count as MIDI ports, and how
// the pieces of a System Exclusive event make one message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SeqPortInfo {
    int client;
    int port;
    unsigned type;          // SND_SEQ_PORT_TYPE_* bits
    unsigned capabilities;  // SND_SEQ_PORT_CAP_* bits
    std::string name;       // at most 31 characters once classified
};

// Only hardware ports count: the system's own software ports (the MIDI
// through port, sound servers' bridges, other programs) are left out.
// Inputs are ports we can read from, outputs ports we can write to.
void classifySeqPorts(const std::vector<SeqPortInfo>& all, int ownClient,
                      std::vector<SeqPortInfo>& inputs, std::vector<SeqPortInfo>& outputs);

// Joins the pieces the sequencer delivers a long System Exclusive message
// in into one message from 0xF0 to 0xF7, in the receiver's area. A message
// longer than the area is cut to its room; bytes outside a message are
// ignored; a status byte inside one abandons it.
struct SysexJoiner {
    uint8_t* area = nullptr;
    size_t room = 0;
    size_t size = 0;
    bool inMessage = false;
};

using SysexDone = void (*)(const uint8_t* message, uint32_t size, void* context);

void joinSysexPiece(SysexJoiner& joiner, const uint8_t* piece, size_t length, SysexDone done,
                    void* context);
