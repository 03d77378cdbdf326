// The ALSA sequencer back end's choice of ports, kept free of the sequencer
// so that it can be tested: which sequencer ports count as MIDI ports.
#pragma once

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
