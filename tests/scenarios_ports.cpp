// The table's rows of the device checks and the port search.
#include "tests/scenario_rows.h"

#include "tests/sim_script.h"

namespace scenario_rows {

std::vector<Scenario> portRows() {
    const SimBytes id = identifyMessage(STANDARD_PROFILE);
    const Messages one = recordMessages(ONE_RECORD, 0);

    std::vector<Scenario> all;

    // --- device checks and port search ---
    all.push_back(Row("no MIDI input port", ONE_RECORD)
        .script(with([](TestScript& s) { s.inputs.clear(); }))
        .prints(sayText(Say::NoDevice))
        .sends({})
        .ports({}));
    all.push_back(Row("two MIDI input ports", ONE_RECORD)
        .script(with([](TestScript& s) { s.inputs = {{"Calvenor Pro"}, {"Other Device"}}; }))
        .prints(sayText(Say::TooManyDevices, 2))
        .sends({})
        .ports({}));
    all.push_back(Row("input port does not open", ONE_RECORD)
        .script(with([](TestScript& s) { s.inputs[0].openResult = MIDI_ERROR; }))
        .prints(sayText(Say::InMissing))
        .sends({})
        .ports({}));
    all.push_back(Row("input port does not start", ONE_RECORD)
        .script(with([](TestScript& s) { s.inputs[0].startResult = MIDI_ERROR; }))
        .prints(sayText(Say::InDevice, "Calvenor Pro") + sayText(Say::InMissing))
        .sends({})
        .ports({"in 0 open", "in 0 start", "in 0 close"}));
    all.push_back(Row("a Microsoft input port is passed over and closed", ONE_RECORD)
        .script(with([](TestScript& s) { s.inputs = {{"microsoft MIDI in", false}}; }))
        .prints(sayText(Say::InDevice, "microsoft MIDI in") + sayText(Say::InMissing))
        .sends({})
        .ports({"in 0 open", "in 0 start", "in 0 close"}));
    all.push_back(Row("output port does not open", ONE_RECORD)
        .script(with([](TestScript& s) { s.outputs[0].openResult = MIDI_ERROR; }))
        .prints(sayText(Say::InDevice, "Calvenor Pro") + OUT_MISSING)
        .sends({})
        .ports({"in 0 open", "in 0 start", "in 0 close"}));
    all.push_back(Row("a lone Microsoft output port", ONE_RECORD)
        .script(with([](TestScript& s) { s.outputs = {{"Microsoft GS Wavetable Synth", false}}; }))
        .prints(sayText(Say::InDevice, "Calvenor Pro") + sayText(Say::OutDevice, "Microsoft GS Wavetable Synth") +
                       OUT_MISSING)
        .sends({})
        .ports({"in 0 open", "in 0 start", "out 0 open", "out 0 close", "in 0 close"}));
    all.push_back(Row("output search starts at 1 after the GS synth", ONE_RECORD)
        .script(with([](TestScript& s) { s.outputs = {{"Microsoft GS Wavetable Synth", false}, {"Calvenor Pro"}}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports({"in 0 open", "in 0 start", "out 1 open", "in 0 close", "out 1 close"}));
    all.push_back(Row("the GS synth in other letter case", ONE_RECORD)
        .script(with([](TestScript& s) { s.outputs = {{"MICROSOFT gs Wavetable Synth", false}, {"Calvenor Pro"}}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports({"in 0 open", "in 0 start", "out 1 open", "in 0 close", "out 1 close"}));
    all.push_back(Row("another Microsoft output port is announced and passed over", ONE_RECORD)
        .script(with([](TestScript& s) { s.outputs = {{"MICROSOFT MIDI Mapper", false}, {"Calvenor Pro"}}; }))
        .prints(sayText(Say::InDevice, "Calvenor Pro") + sayText(Say::OutDevice, "MICROSOFT MIDI Mapper") +
                sayText(Say::OutDevice, "Calvenor Pro") + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports({"in 0 open", "in 0 start", "out 0 open", "out 0 close", "out 1 open", "in 0 close",
                    "out 1 close"}));

    return all;
}

}  // namespace scenario_rows
