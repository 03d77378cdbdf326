#include "backends/alsa_ports.h"

#include <alsa/asoundlib.h>

namespace {
constexpr unsigned CAP_READ = SND_SEQ_PORT_CAP_READ;
constexpr unsigned CAP_WRITE = SND_SEQ_PORT_CAP_WRITE;
constexpr unsigned CAP_SUBS_READ = SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned CAP_SUBS_WRITE = SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned CAP_NO_EXPORT = SND_SEQ_PORT_CAP_NO_EXPORT;
constexpr unsigned TYPE_HARDWARE = SND_SEQ_PORT_TYPE_HARDWARE;
constexpr size_t NAME_CHARS = 31;
}  // namespace

void classifySeqPorts(const std::vector<SeqPortInfo>& all, int ownClient,
                      std::vector<SeqPortInfo>& inputs, std::vector<SeqPortInfo>& outputs) {
    inputs.clear();
    outputs.clear();
    for (SeqPortInfo port : all) {
        if (port.client == ownClient || !(port.type & TYPE_HARDWARE) ||
            (port.capabilities & CAP_NO_EXPORT))
            continue;
        if (port.name.size() > NAME_CHARS) port.name.resize(NAME_CHARS);
        if ((port.capabilities & (CAP_READ | CAP_SUBS_READ)) == (CAP_READ | CAP_SUBS_READ))
            inputs.push_back(port);
        if ((port.capabilities & (CAP_WRITE | CAP_SUBS_WRITE)) == (CAP_WRITE | CAP_SUBS_WRITE))
            outputs.push_back(port);
    }
}
