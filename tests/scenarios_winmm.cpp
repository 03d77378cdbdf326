// The table's rows of the Windows paths: the driver's habits (the WinMM test
// double), long replies and lost tails, the ports that count, and Windows
// 11's MIDI service.
#include "tests/scenario_rows.h"

#include "tests/sim_script.h"

namespace scenario_rows {

namespace {

// The device interface of one of the MIDI service's own software
// endpoints, as its WinMM ports tell it.
std::string serviceInterface(const std::string& instance) {
    return "\\\\?\\swd#midisrv#" + instance + "#{e7cce071-3c03-423f-88d3-f1045d02552b}";
}

const SimPort LOOPBACK_A = {"Default App Loopback (A)", false};
const SimPort LOOPBACK_B = {"Default App Loopback (B)", false};
const SimPort BASIC_LOOPBACK = {"Default Basic App Loopback", false};
const SimPort GS_SYNTH = {"Microsoft GS Wavetable Synth", false};

// The double's habits for the ports these rows use: the interfaces they
// tell.
void tellInterfaces(TestScript& s);

std::vector<Scenario> serviceScenarios(const Bytes& three, const Messages& one, const SimBytes& id) {
    std::vector<Scenario> all;
    const std::string OUT_LOST = "\n" + sayText(Say::OutMissing);
    // The device arrived after the loopbacks: its ports come after theirs.
    all.push_back(Row("loopbacks before and after the device are left out", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {LOOPBACK_A, LOOPBACK_B, {"Calvenor Pro"}, BASIC_LOOPBACK};
                       s.outputs = {GS_SYNTH, LOOPBACK_A, LOOPBACK_B, {"Calvenor Pro"}, BASIC_LOOPBACK};
                   }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports({"in 2 open", "in 2 start", "out 3 open", "in 2 close", "out 3 close"}));
    all.push_back(Row("app-to-app and network ports are left out", ONE_RECORD)
        .script(with([](TestScript& s) {
                       SimPort app = {"Sequencer Out", false}, net = {"Studio Session", false};
                       s.winmm.interfaceOf[app.name] = serviceInterface("midiu_apppub_4f1b2c");
                       s.winmm.interfaceOf[net.name] = serviceInterface("midiu_net2udp_session1");
                       s.inputs = {{"Calvenor Pro"}, app, net};
                       s.outputs = {GS_SYNTH, app, {"Calvenor Pro"}, net};
                   }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports({"in 0 open", "in 0 start", "out 2 open", "in 0 close", "out 2 close"}));
    all.push_back(Row("an empty interface answer: every port counts", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {LOOPBACK_A, LOOPBACK_B, {"Calvenor Pro"}};
                       s.winmm.emptyInterfaces = true;
                   }))
        .prints(sayText(Say::TooManyDevices, 3))
        .sends({})
        .ports({}));
    all.push_back(Row("two devices among loopbacks", ONE_RECORD)
        .script(with([](TestScript& s) { s.inputs = {LOOPBACK_A, {"Calvenor Pro"}, LOOPBACK_B, {"Other Device"}}; }))
        .prints(sayText(Say::TooManyDevices, 2))
        .sends({})
        .ports({}));
    // A note-on cuts the acknowledgement: the buffer comes back as an error,
    // and is queued again for the resend's answer.
    all.push_back(Row("a reply cut by a status byte, then the resend's answer", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = {simMessage({0xF0, 0x1A, 0x90, 0x40, 0x7F})}; }))
        .prints(DEVICE + progress('-', 0) + progress('-', 0) + DONE)
        .sends(Messages{id} + one + one)
        .ports(FULL_RUN));
    // The service gives up on a send after 1 s, yet the message reaches the
    // device later (here as the port closes); every later send fails.
    all.push_back(Row("a full chunk's send stalls and fails", three)
        .script(with([](TestScript& s) { s.winmm.stallSendAt = 2; }))
        .prints(DEVICE + progress('-', 0) + OUT_LOST)
        .sends(Messages{id, recordMessages(three, 0)[0]})
        .ports({"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 took message 2 late",
                    "out 0 close"}));
    // A stalled short last chunk is not examined: the record shows as
    // unanswered, and its resend meets the broken output.
    all.push_back(Row("a last chunk's send stalls: no reply, then the resend fails", three)
        .script(with([](TestScript& s) {
                       s.winmm.stallSendAt = 3;
                       s.partialTimeoutMs = 60000;  // the device joins the late chunk to the record
                   }))
        .prints(DEVICE + progress('-', 0) + progress('-', 0) + OUT_LOST)
        .sends(Messages{id} + recordMessages(three, 0))
        .ports({"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 took message 3 late",
                    "out 0 close"}));
    // The last acknowledgement comes with the start of another message: at
    // the close the stop hands back its part-filled buffer as an error, and
    // the reset hands back the other one.
    all.push_back(Row("the close with a part-filled buffer", ONE_RECORD)
        .script(with([](TestScript& s) { s.recordReplies = {simMessage({0xF0, 0x1A, 0xF7, 0xF0, 0x01})}; }))
        .prints(DEVICE + progress('-', 0) + DONE)
        .sends(Messages{id} + one)
        .ports(FULL_RUN));
    return all;
}

// Ports of other drivers, as WinMM shows them with their device interfaces:
// a virtual MIDI cable's (a root-enumerated kernel-streaming driver) and a
// sound card's on the PCI bus.
std::string driverInterface(const std::string& device) {
    return "\\\\?\\" + device + "#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
}
const SimPort CABLE_1 = {"Virtual Cable 1", false};
const SimPort CABLE_2 = {"Virtual Cable 2", false};
const SimPort PCI_CARD = {"Sound Card MIDI", false};
// The unit's own port with its USB interface in capitals, as some drivers
// spell it.
const SimPort UNIT_IN_CAPITALS = {"Calvenor Pro"};
const std::string UNIT_INTERFACE_IN_CAPITALS = driverInterface("USB#VID_1A2B&PID_0C3D&MI_00#7&2B3C4D5E&0&0000");

void tellInterfaces(TestScript& s) {
    const std::pair<const SimPort*, std::string> told[] = {
        {&LOOPBACK_A, serviceInterface("midiu_loop_a_default")},
        {&LOOPBACK_B, serviceInterface("MIDIU_LOOP_B_DEFAULT")},
        {&BASIC_LOOPBACK, serviceInterface("midiu_bloop_default")},
        {&CABLE_1, driverInterface("root#media#0003")},
        {&CABLE_2, driverInterface("ROOT#MEDIA#0004")},
        {&PCI_CARD, driverInterface("pci#ven_1102&dev_0008&subsys_00000000&rev_00#4&1a2b3c&0&00e4")},
    };
    for (const auto& port : told) s.winmm.interfaceOf.emplace(port.first->name, port.second);
}

// Only devices count on Windows: what the device interface tells. Both
// paths, unless a row is the MIDI service's own.
std::vector<Scenario> deviceOnlyScenarios(const Messages& one, const SimBytes& id) {
    const std::string run = DEVICE + progress('-', 0) + DONE;
    auto events = [](int in, int out) {
        std::string i = std::to_string(in), o = std::to_string(out);
        return Events{"in " + i + " open", "in " + i + " start", "out " + o + " open", "in " + i + " close",
                      "out " + o + " close"};
    };
    std::vector<Scenario> all;
    all.push_back(Row("a virtual cable's port before the device is left out", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {CABLE_1, {"Calvenor Pro"}};
                       s.outputs = {GS_SYNTH, CABLE_1, {"Calvenor Pro"}};
                   }))
        .prints(run)
        .sends(Messages{id} + one)
        .ports(events(1, 2)));
    {
        Scenario gd32 = Row("the GD32 build with a virtual cable's port before the device", ONE_RECORD)
            .script(with([](TestScript& s) {
                          s.inputs = {CABLE_1, {"Calvenor Pro"}};
                          s.outputs = {GS_SYNTH, CABLE_1, {"Calvenor Pro"}};
                          s.deviceId = 0x58;
                      }))
            .prints(run)
            .sends(Messages{identifyMessage(GD32_PROFILE)} + one)
            .ports(events(1, 2));
        gd32.profile = &GD32_PROFILE;
        all.push_back(gd32);
    }
    all.push_back(Row("a virtual cable's port after the device is left out", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {UNIT_IN_CAPITALS, CABLE_2};
                       s.outputs = {GS_SYNTH, UNIT_IN_CAPITALS, CABLE_2};
                       s.winmm.interfaceOf[UNIT_IN_CAPITALS.name] = UNIT_INTERFACE_IN_CAPITALS;
                   }))
        .prints(run)
        .sends(Messages{id} + one)
        .ports(events(0, 1)));
    all.push_back(Row("a sound card's MIDI port is left out", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {PCI_CARD, {"Calvenor Pro"}};
                       s.outputs = {GS_SYNTH, PCI_CARD, {"Calvenor Pro"}};
                   }))
        .prints(run)
        .sends(Messages{id} + one)
        .ports(events(1, 2)));
    all.push_back(Row("no port tells its interface: the cable counts", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {CABLE_1, {"Calvenor Pro"}};
                       s.winmm.emptyInterfaces = true;
                   }))
        .prints(sayText(Say::TooManyDevices, 2))
        .sends({})
        .ports({}));
    all.push_back(Row("only virtual cables: no device", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {CABLE_1, CABLE_2};
                       s.outputs = {GS_SYNTH, CABLE_1, CABLE_2};
                   }))
        .prints(sayText(Say::NoDevice))
        .sends({})
        .ports({}));
    for (Scenario& row : all) row.windowsOnly = true;

    // The MIDI service's own: its stand-in for a device's filter, and its
    // loopbacks among cables.
    const struct {
        const char* name;
        SimPort loopback;
        const char* interfaceName;
    } standIns[] = {
        {"the MIDI service's stand-in for the device's port counts", LOOPBACK_A,
         "\\\\?\\swd#midisrv#MIDIU_KSA_8216471025#{e7cce071-3c03-423f-88d3-f1045d02552b}"},
        {"the MIDI service's stand-in spelt in capitals counts", LOOPBACK_B,
         "\\\\?\\SWD#MIDISRV#MIDIU_KS_4071126315_OUTPIN.0_INPIN.2#{E7CCE071-3C03-423F-88D3-F1045D02552B}"},
    };
    for (const auto& kind : standIns) {
        SimPort standIn{"Calvenor Pro"};
        Scenario row = Row(kind.name, ONE_RECORD).prints(run).sends(Messages{id} + one).ports(events(1, 2));
        row.script.inputs = {kind.loopback, standIn};
        row.script.outputs = {GS_SYNTH, kind.loopback, standIn};
        row.script.winmm.interfaceOf[standIn.name] = kind.interfaceName;
        all.push_back(row);
    }
    all.push_back(Row("a device among cables and loopbacks", ONE_RECORD)
        .script(with([](TestScript& s) {
                       s.inputs = {CABLE_1, LOOPBACK_A, {"Calvenor Pro"}, LOOPBACK_B, CABLE_2};
                       s.outputs = {GS_SYNTH, CABLE_1, LOOPBACK_A, {"Calvenor Pro"}, CABLE_2};
                   }))
        .prints(run)
        .sends(Messages{id} + one)
        .ports(events(2, 3)));
    for (size_t i = all.size() - 3; i < all.size(); ++i) {
        all[i].windowsOnly = true;
        all[i].winmmPath = Scenario::ServicePath;
    }
    return all;
}

}  // namespace

std::vector<Scenario> winmmRows() {
    const Bytes three = sampleKit(3, 30);  // records of 34 bytes: a full chunk and a short one
    const SimBytes id = identifyMessage(STANDARD_PROFILE);
    const Messages one = recordMessages(ONE_RECORD, 0);

    std::vector<Scenario> all;

    // The Windows driver's habits, played by the WinMM test double.
    {
        Scenario slow = Row("the driver is slow to let go of each message", ONE_RECORD)
            .script(with([](TestScript& s) { s.winmm.driverHolds = 3; }))
            .prints(DEVICE + progress('-', 0) + DONE)
            .sends(Messages{id} + one)
            .ports(FULL_RUN);
        slow.windowsOnly = true;
        slow.winmmPath = Scenario::ClassicPath;
        all.push_back(slow);
        // Given up after 50 waits of 100 ms (the double notes a shorter
        // step): reset, and the driver still holds
        // the message. It reads it once more as the port closes: the message
        // must still be there.
        Scenario stuck = Row("a driver that never lets go is given up", ONE_RECORD)
            .script(with([](TestScript& s) { s.winmm.driverHolds = 1000; }))
            .prints(DEVICE + OUT_MISSING)
            .sends({id})
            .ports({"in 0 open", "in 0 start", "out 0 open", "out 0 reset after 51 still-playing answers",
                        "in 0 close",
                        "out 0 read after the give-up: " + hexText(id), "out 0 close"});
        stuck.windowsOnly = true;
        stuck.winmmPath = Scenario::ClassicPath;
        all.push_back(stuck);
        // Receive buffers the driver will not take: no reply could ever be
        // read, so the input is one that does not open, and is closed again.
        Scenario noBuffers = Row("the input's receive buffers cannot be queued", ONE_RECORD)
            .script(with([](TestScript& s) { s.winmm.buffersResultOf[s.inputs[0].name] = 7; }))  // MMSYSERR_NOMEM
            .prints(sayText(Say::InMissing))
            .sends({})
            .ports({"in 0 open", "in 0 close"});
        noBuffers.windowsOnly = true;
        all.push_back(noBuffers);
    }
    {
        // A reply longer than a receive buffer: WinMM hands it back in two
        // buffers, the first full and without F7; it is one message, cut to
        // the 200 bytes the link receives.
        auto longReply = [](uint8_t code) {
            SimBytes m = {0xF0, code};
            m.resize(299, 0x01);
            m.push_back(0xF7);
            return simMessage(m);
        };
        all.push_back(Row("replies of 300 bytes", ONE_RECORD)
            .prints(DEVICE + progress('-', 0) + DONE)
            .sends(Messages{id} + one)
            .ports(FULL_RUN));
        all.back().script.identifyReplies = {longReply(0x48)};
        all.back().script.recordReplies = {longReply(0x1A)};
    }
    {
        // A long message whose tail never comes: what follows it is a new
        // message, never glued onto the stale one. On the MIDI service the
        // next F0 cuts it at a buffer's end, which hands back an empty buffer.
        auto cutAt = [](uint8_t code, size_t bytes) {
            SimBytes m = {0xF0, code};
            m.resize(bytes, 0x01);
            return m;
        };
        Scenario waiting = Row("a waiting message cut at 200 bytes, then the identify answer", ONE_RECORD)
            .prints(DEVICE + progress('-', 0) + DONE)
            .sends(Messages{id} + one)
            .ports(FULL_RUN);
        waiting.script.waitingMessage = cutAt(0x30, 200);
        waiting.windowsOnly = true;
        all.push_back(waiting);
        Scenario lostTail = Row("an acknowledgement cut at 800 bytes, then a CRC error on the resend", three)
            .prints(DEVICE + progress('-', 0) + progress('-', 0) + CRC_ERROR + progress('-', 0) + progress('-', 33) +
                              progress('\\', 66) + DONE)
            .sends(Messages{id} + repeat(recordMessages(three, 0), 3) + recordMessages(three, 1) +
                              recordMessages(three, 2))
            .ports(FULL_RUN);
        lostTail.script.recordReplies = {simMessage(cutAt(0x1A, 800)), simCode(0x20)};
        lostTail.windowsOnly = true;
        all.push_back(lostTail);
        // The cut message and the answer in one burst, with no forgetting
        // between them: the answer's F0 begins the message taken.
        SimBytes burst = cutAt(0x30, 200);
        burst.insert(burst.end(), {0xF0, 0x48, 0xF7});
        Scenario oneBurst = Row("a message cut at 200 bytes, the identify answer right behind it", ONE_RECORD)
            .prints(DEVICE + progress('-', 0) + DONE)
            .sends(Messages{id} + one)
            .ports(FULL_RUN);
        oneBurst.script.identifyReplies = {simMessage(burst)};
        oneBurst.windowsOnly = true;
        all.push_back(oneBurst);
        // A message that fills a receive buffer exactly, held back until the
        // resend's first chunk, and its end only after the resend's last
        // chunk has started: the forgetting between them drops the half
        // joined, so its end answers nothing, and the resend goes unanswered.
        const Bytes eleven = sampleKit(1, 246);  // one record of eleven chunks
        Scenario halves = Row("a message half in at the forgetting: its end answers nothing", eleven)
            .prints(DEVICE + times(progress('-', 0), 3) + DONE)
            .sends(Messages{id} + repeat(recordMessages(eleven, 0), 3))
            .ports(FULL_RUN);
        SimBytes firstHalf = cutAt(0x1A, 200);
        halves.script.recordReplies = {simMessage(firstHalf, SIM_ON_NEXT_SEND), simMessage({0xF7})};
        halves.windowsOnly = true;
        all.push_back(halves);
    }
    for (const Scenario& s : deviceOnlyScenarios(one, id)) all.push_back(s);
    // Windows 11's MIDI service, played by the double's service mode.
    for (Scenario s : serviceScenarios(three, one, id)) {
        s.windowsOnly = true;
        s.winmmPath = Scenario::ServicePath;
        all.push_back(s);
    }
    for (Scenario& s : all) tellInterfaces(s.script);
    return all;
}

}  // namespace scenario_rows
