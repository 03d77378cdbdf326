#include "backends/alsa_ports.h"

namespace {
// The sequencer's bits (values of the ALSA sequencer interface).
constexpr unsigned CAP_READ = 1u << 0;
constexpr unsigned CAP_WRITE = 1u << 1;
constexpr unsigned CAP_SUBS_READ = 1u << 5;
constexpr unsigned CAP_SUBS_WRITE = 1u << 6;
constexpr unsigned CAP_NO_EXPORT = 1u << 7;
constexpr unsigned TYPE_HARDWARE = 1u << 16;
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
