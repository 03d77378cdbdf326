#include "tests/scenarios.h"

#include "tests/sim_script.h"

#include <cstdio>
#include <sstream>


SimScript with(void (*change)(SimScript&)) {
    SimScript s;
    change(s);
    return s;
}

Events portEvents(const SimLog& log) {
    Events events;
    for (const auto& e : log.events)
        if (e.rfind("in ", 0) == 0 || e.rfind("out ", 0) == 0) events.push_back(e);
    return events;
}

const Bytes ONE_RECORD = {0x00, 0x04, 0xAA, 0xBB, 0x9B, 0xFE};

std::string progress(char shape, int percent) {
    return "\r                        \rTransferring.. " + std::string(1, shape) + " " +
           std::to_string(percent) + "% done";
}

Messages operator+(Messages a, const Messages& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

SimBytes framed(const std::string& text) {
    SimBytes m;
    m.reserve(text.size() + 2);
    m.push_back(0xF0);
    for (char c : text) m.push_back(static_cast<uint8_t>(c));
    m.push_back(0xF7);
    return m;
}

SimBytes identifyMessage(const TargetProfile& profile) {
    return framed(std::string(profile.identifyRequest, profile.identifyRequest + 7));
}

std::vector<Messages> messagesOfRecords(const Bytes& image) {
    static const char digits[] = "0123456789ABCDEF";
    std::vector<Messages> records;
    for (size_t pos = 0; pos < image.size();) {
        size_t size = image[pos] * 256 + image[pos + 1] + 2;
        Messages chunks;
        for (size_t at = 0; at < size; at += 23) {
            std::string text;
            for (size_t i = at; i < size && i < at + 23; ++i) {
                text += digits[image[pos + i] >> 4];
                text += digits[image[pos + i] & 15];
            }
            chunks.push_back(framed(text));
        }
        records.push_back(chunks);
        pos += size;
    }
    return records;
}

Messages recordMessages(const Bytes& image, size_t index) { return messagesOfRecords(image).at(index); }

namespace {

// The text of an account's console line ("console \"...\""), unescaped.
bool unescapeConsole(const std::string& line, std::string& text) {
    const std::string head = "console \"";
    if (line.compare(0, head.size(), head) != 0 || line.size() < head.size() + 1 || line.back() != '"') return false;
    for (size_t i = head.size(); i + 1 < line.size(); ++i) {
        if (line[i] != '\\') {
            text += line[i];
            continue;
        }
        char e = line[++i];
        if (e == 'r') {
            text += '\r';
        } else if (e == 'n') {
            text += '\n';
        } else if (e == 'x') {
            text += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            text += e;
        }
    }
    return true;
}

}  // namespace

std::string checkAccount(const std::string& log, const std::string& console, const Bytes& kit,
                         const Messages* seen) {
    const Messages none;
    const Messages& wire = seen != nullptr ? *seen : none;
    const std::string opening = "======== update: one run ========";
    const std::string ending = "======== end of the run ========";
    std::istringstream lines(log);
    std::string line, shown;
    bool opened = false, ended = false, sendFailed = false;
    size_t w = 0;
    int program = 0, system = 0, outcomes = 0;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (line == opening) {
            if (opened) return "a second account";
            opened = true;
            continue;
        }
        if (line == ending) {
            ended = true;
            continue;
        }
        if (!opened || ended) return "a line outside the account: " + line;
        size_t stamp = line.find(" ms] ");
        if (line[0] != '[' || stamp == std::string::npos) return "a line without its time: " + line;
        std::string text = line.substr(stamp + 5);
        unsigned record = 0, at = 0, size = 0, chunks = 0, attempt = 0;
        if (text.compare(0, 8, "console ") == 0) {
            if (!unescapeConsole(text, shown)) return "a console line that does not read back: " + text;
        } else if (text.compare(0, 9, "program: ") == 0) {
            ++program;
        } else if (text.compare(0, 8, "system: ") == 0) {
            ++system;
        } else if (text.compare(0, 9, "outcome: ") == 0) {
            ++outcomes;
            if (text.find("could not be sent") != std::string::npos) sendFailed = true;
        } else if (seen == nullptr) {
            continue;
        } else if (text.compare(0, 17, "identify request ") == 0 && text.size() > 5 &&
                   text.compare(text.size() - 5, 5, " sent") == 0) {
            if (w >= wire.size() || wire[w].size() != 9 || wire[w][5] != 0x1C)
                return "identify request without its message on the wire: " + text;
            ++w;
        } else if (std::sscanf(text.c_str(), "record %u (at %u, %u bytes, %u chunks), attempt %u sent", &record, &at,
                               &size, &chunks, &attempt) == 5) {
            if (at + size > kit.size()) return "an attempt beyond the kit: " + text;
            Messages expected = messagesOfRecords(Bytes(kit.begin() + at, kit.begin() + at + size)).at(0);
            if (chunks > expected.size()) return "more chunks than the record has: " + text;
            for (unsigned c = 0; c < chunks; ++c, ++w)
                if (w >= wire.size() || wire[w] != expected[c])
                    return "chunk " + std::to_string(c + 1) + " not as on the wire: " + text;
        }
    }
    if (!opened || !ended) return "the account is not whole";
    if (program != 1 || system != 1) return "the header's program and system lines";
    if (outcomes != 1) return std::to_string(outcomes) + " outcome lines";
    if (shown != console) return "the console as the account shows it:\n" + shown + "\n-- differs from --\n" + console;
    size_t unaccounted = wire.size() - w;
    if (unaccounted > (sendFailed ? 1u : 0u))
        return std::to_string(unaccounted) + " message(s) on the wire that no attempt accounts for";
    return "";
}


namespace {

const std::string DEVICE = "MIDI IN DEVICE: Calvenor Pro\r\nMIDI OUT DEVICE: Calvenor Pro\r\n";
const std::string DONE = "\rTransferring.. 100% done.  \nTarget update successfully!\n\n";
const std::string OUT_MISSING = "Error: The MIDI Out of device is missing!\n\n";
const std::string NOT_RESPONDING = "\nFailed: Target is not responding.\n\n";
const Events FULL_RUN = {"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 close"};


std::string times(const std::string& text, int n) {
    std::string all;
    for (int i = 0; i < n; ++i) all += text;
    return all;
}


Messages repeat(const Messages& m, int n) {
    Messages all;
    for (int i = 0; i < n; ++i) all = all + m;
    return all;
}

std::vector<SimReply> replies(std::initializer_list<uint8_t> codes) {
    std::vector<SimReply> all;
    for (uint8_t code : codes) all.push_back(simCode(code));
    return all;
}

std::vector<SimReply> repeatReply(const SimReply& reply, int n) { return std::vector<SimReply>(n, reply); }

using ::operator+;  // of Messages, beside this one

std::vector<SimReply> operator+(std::vector<SimReply> a, const std::vector<SimReply>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes sampleKit(size_t records, size_t payload) { return makeSampleImage(records, payload, 42); }


// A kit of real size: 256 records of 250 bytes, 64 000 bytes in all. Each
// progress line shows the bytes acknowledged before it as a share of the
// whole; the first records at 85 % or more wait 200 polls, those before 50.
// Records 217 (84 %) and 218 (85 %) go unanswered once.
Scenario realSizeKit(const SimBytes& id) {
    const size_t RECORDS = 256, SIZE = 250;
    Scenario s{"a kit of real size: its percentages and the long waits", sampleKit(RECORDS, SIZE - 4), SimScript(),
               DEVICE, {id}, FULL_RUN};
    s.script.recordReplies = repeatReply(simModel(), 217) + std::vector<SimReply>{simSilence(), simModel(),
                                                                                    simSilence()};
    const char shapes[] = "--\\\\||//";
    s.sleepsBefore = {0};
    const std::vector<Messages> records = messagesOfRecords(s.kit);
    for (size_t r = 0; r < RECORDS; ++r) {
        int percent = static_cast<int>(r * SIZE * 100 / s.kit.size());
        int attempts = r == 217 || r == 218 ? 2 : 1;
        for (int a = 0; a < attempts; ++a) {
            s.transcript += progress(shapes[r % 8], percent);
            s.wire = s.wire + records[r];
            // Before the first chunk: the wait that ended the attempt before.
            uint32_t first = r == 0 && a == 0 ? 2 : a == 1 ? (r == 217 ? 51 : 201) : 2;
            s.sleepsBefore.push_back(first);
            s.sleepsBefore.resize(s.sleepsBefore.size() + records[r].size() - 1, 1);
        }
    }
    s.transcript += DONE;
    return s;
}

// The MIDI service's own software endpoints, as its WinMM ports show them.
SimPort servicePort(const std::string& name, const std::string& instance) {
    SimPort port{name, false};
    port.interfaceName = "\\\\?\\swd#midisrv#" + instance + "#{e7cce071-3c03-423f-88d3-f1045d02552b}";
    return port;
}

const SimPort LOOPBACK_A = servicePort("Default App Loopback (A)", "midiu_loop_a_default");
const SimPort LOOPBACK_B = servicePort("Default App Loopback (B)", "MIDIU_LOOP_B_DEFAULT");
const SimPort BASIC_LOOPBACK = servicePort("Default Basic App Loopback", "midiu_bloop_default");
const SimPort GS_SYNTH = {"Microsoft GS Wavetable Synth", false};

std::vector<Scenario> serviceScenarios(const Bytes& three, const Messages& one, const SimBytes& id) {
    std::vector<Scenario> all;
    const std::string OUT_LOST = "\nError: The MIDI Out of device is missing!\n\n";
    // The device arrived after the loopbacks: its ports come after theirs.
    all.push_back({"loopbacks before and after the device are left out", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {LOOPBACK_A, LOOPBACK_B, {"Calvenor Pro"}, BASIC_LOOPBACK};
                       s.outputs = {GS_SYNTH, LOOPBACK_A, LOOPBACK_B, {"Calvenor Pro"}, BASIC_LOOPBACK};
                   }),
                   DEVICE + progress('-', 0) + DONE, Messages{id} + one,
                   {"in 2 open", "in 2 start", "out 3 open", "in 2 close", "out 3 close"}});
    all.push_back({"app-to-app and network ports are left out", ONE_RECORD,
                   with([](SimScript& s) {
                       SimPort app = servicePort("Sequencer Out", "midiu_apppub_4f1b2c");
                       SimPort net = servicePort("Studio Session", "midiu_net2udp_session1");
                       s.inputs = {{"Calvenor Pro"}, app, net};
                       s.outputs = {GS_SYNTH, app, {"Calvenor Pro"}, net};
                   }),
                   DEVICE + progress('-', 0) + DONE, Messages{id} + one,
                   {"in 0 open", "in 0 start", "out 2 open", "in 0 close", "out 2 close"}});
    all.push_back({"an empty interface answer: every port counts", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {LOOPBACK_A, LOOPBACK_B, {"Calvenor Pro"}};
                       s.emptyInterfaces = true;
                   }),
                   "Error:Does your computer have identified 3 USB audiol devices, Please remove the other "
                   "USB audiol devices!\n\n",
                   {}, {}});
    all.push_back({"two devices among loopbacks", ONE_RECORD,
                   with([](SimScript& s) { s.inputs = {LOOPBACK_A, {"Calvenor Pro"}, LOOPBACK_B, {"Other Device"}}; }),
                   "Error:Does your computer have identified 2 USB audiol devices, Please remove the other "
                   "USB audiol devices!\n\n",
                   {}, {}});
    // A note-on cuts the acknowledgement: the buffer comes back as an error,
    // and is queued again for the resend's answer.
    all.push_back({"a reply cut by a status byte, then the resend's answer", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = {simMessage({0xF0, 0x1A, 0x90, 0x40, 0x7F})}; }),
                   DEVICE + progress('-', 0) + progress('-', 0) + DONE, Messages{id} + one + one, FULL_RUN});
    // The service gives up on a send after 1 s, yet the message reaches the
    // device later (here as the port closes); every later send fails.
    all.push_back({"a full chunk's send stalls and fails", three, with([](SimScript& s) { s.stallSendAt = 2; }),
                   DEVICE + progress('-', 0) + OUT_LOST, Messages{id, recordMessages(three, 0)[0]},
                   {"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 took message 2 late",
                    "out 0 close"}});
    // A stalled short last chunk is not examined: the record shows as
    // unanswered, and its resend meets the broken output.
    all.push_back({"a last chunk's send stalls: no reply, then the resend fails", three,
                   with([](SimScript& s) {
                       s.stallSendAt = 3;
                       s.partialTimeoutMs = 60000;  // the device joins the late chunk to the record
                   }),
                   DEVICE + progress('-', 0) + progress('-', 0) + OUT_LOST,
                   Messages{id} + recordMessages(three, 0),
                   {"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 took message 3 late",
                    "out 0 close"}});
    // The last acknowledgement comes with the start of another message: at
    // the close the stop hands back its part-filled buffer as an error, and
    // the reset hands back the other one.
    all.push_back({"the close with a part-filled buffer", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = {simMessage({0xF0, 0x1A, 0xF7, 0xF0, 0x01})}; }),
                   DEVICE + progress('-', 0) + DONE, Messages{id} + one, FULL_RUN});
    return all;
}

// Ports of other drivers, as WinMM shows them with their device interfaces:
// a virtual MIDI cable's (a root-enumerated kernel-streaming driver) and a
// sound card's on the PCI bus.
SimPort driverPort(const std::string& name, const std::string& device) {
    SimPort port{name, false};
    port.interfaceName = "\\\\?\\" + device + "#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    return port;
}
const SimPort CABLE_1 = driverPort("Virtual Cable 1", "root#media#0003");
const SimPort CABLE_2 = driverPort("Virtual Cable 2", "ROOT#MEDIA#0004");
const SimPort PCI_CARD = driverPort("Sound Card MIDI", "pci#ven_1102&dev_0008&subsys_00000000&rev_00#4&1a2b3c&0&00e4");

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
    all.push_back({"a virtual cable's port before the device is left out", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {CABLE_1, {"Calvenor Pro"}};
                       s.outputs = {GS_SYNTH, CABLE_1, {"Calvenor Pro"}};
                   }),
                   run, Messages{id} + one, events(1, 2)});
    {
        Scenario gd32{"the GD32 build with a virtual cable's port before the device", ONE_RECORD,
                      with([](SimScript& s) {
                          s.inputs = {CABLE_1, {"Calvenor Pro"}};
                          s.outputs = {GS_SYNTH, CABLE_1, {"Calvenor Pro"}};
                          s.deviceId = 0x58;
                      }),
                      run, Messages{identifyMessage(GD32_PROFILE)} + one, events(1, 2)};
        gd32.profile = &GD32_PROFILE;
        all.push_back(gd32);
    }
    all.push_back({"a virtual cable's port after the device is left out", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {{"Calvenor Pro"}, CABLE_2};
                       s.outputs = {GS_SYNTH, {"Calvenor Pro"}, CABLE_2};
                   }),
                   run, Messages{id} + one, events(0, 1)});
    all.push_back({"a sound card's MIDI port is left out", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {PCI_CARD, {"Calvenor Pro"}};
                       s.outputs = {GS_SYNTH, PCI_CARD, {"Calvenor Pro"}};
                   }),
                   run, Messages{id} + one, events(1, 2)});
    all.push_back({"no port tells its interface: the cable counts", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {CABLE_1, {"Calvenor Pro"}};
                       s.emptyInterfaces = true;
                   }),
                   "Error:Does your computer have identified 2 USB audiol devices, Please remove the other "
                   "USB audiol devices!\n\n",
                   {}, {}});
    all.push_back({"only virtual cables: no device", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {CABLE_1, CABLE_2};
                       s.outputs = {GS_SYNTH, CABLE_1, CABLE_2};
                   }),
                   "Error: Did not find the USB Audio device, please check!\n\n", {}, {}});
    for (Scenario& row : all) row.windowsOnly = true;

    // The MIDI service's own: its stand-in for a device's filter, and its
    // loopbacks among cables.
    SimPort standIn{"Calvenor Pro"};
    standIn.interfaceName = "\\\\?\\swd#midisrv#MIDIU_KSA_8216471025#{e7cce071-3c03-423f-88d3-f1045d02552b}";
    Scenario ksa{"the MIDI service's stand-in for the device's port counts", ONE_RECORD, SimScript(), run,
                 Messages{id} + one, events(1, 2)};
    ksa.script.inputs = {LOOPBACK_A, standIn};
    ksa.script.outputs = {GS_SYNTH, LOOPBACK_A, standIn};
    all.push_back(ksa);
    all.push_back({"a device among cables and loopbacks", ONE_RECORD,
                   with([](SimScript& s) {
                       s.inputs = {CABLE_1, LOOPBACK_A, {"Calvenor Pro"}, LOOPBACK_B, CABLE_2};
                       s.outputs = {GS_SYNTH, CABLE_1, LOOPBACK_A, {"Calvenor Pro"}, CABLE_2};
                   }),
                   run, Messages{id} + one, events(2, 3)});
    for (size_t i = all.size() - 2; i < all.size(); ++i) {
        all[i].windowsOnly = true;
        all[i].winmmPath = Scenario::ServicePath;
    }
    return all;
}

}  // namespace

std::vector<Scenario> scenarios() {
    const Bytes three = sampleKit(3, 30);  // records of 34 bytes: a full chunk and a short one
    const Bytes ten = sampleKit(10, 2);    // records of 6 bytes
    const Bytes nine = sampleKit(9, 2);
    const Bytes twenty = sampleKit(20, 2);
    const SimBytes id = identifyMessage(STANDARD_PROFILE);
    const Messages one = recordMessages(ONE_RECORD, 0);
    const Bytes big = sampleKit(3, 246);  // records of 250 bytes: eleven chunks, as in a real kit
    auto bigRecord = [&big](size_t r) { return recordMessages(big, r); };
    const std::string CRC = "\nThe CRC of the download file is error!\n";

    std::vector<Scenario> all;

    // --- device checks and port search ---
    all.push_back({"no MIDI input port", ONE_RECORD, with([](SimScript& s) { s.inputs.clear(); }),
                   "Error: Did not find the USB Audio device, please check!\n\n", {}, {}});
    all.push_back({"two MIDI input ports", ONE_RECORD,
                   with([](SimScript& s) { s.inputs = {{"Calvenor Pro"}, {"Other Device"}}; }),
                   "Error:Does your computer have identified 2 USB audiol devices, Please remove the other "
                   "USB audiol devices!\n\n",
                   {}, {}});
    all.push_back({"input port does not open", ONE_RECORD,
                   with([](SimScript& s) { s.inputs[0].openResult = MIDI_ERROR; }),
                   "Error: The MIDI In of device is missing!\n\n", {}, {}});
    all.push_back({"input port does not start", ONE_RECORD,
                   with([](SimScript& s) { s.inputs[0].startResult = MIDI_ERROR; }),
                   "MIDI IN DEVICE: Calvenor Pro\r\nError: The MIDI In of device is missing!\n\n", {},
                   {"in 0 open", "in 0 start", "in 0 close"}});
    all.push_back({"a Microsoft input port is passed over and closed", ONE_RECORD,
                   with([](SimScript& s) { s.inputs = {{"microsoft MIDI in", false}}; }),
                   "MIDI IN DEVICE: microsoft MIDI in\r\nError: The MIDI In of device is missing!\n\n", {},
                   {"in 0 open", "in 0 start", "in 0 close"}});
    all.push_back({"output port does not open", ONE_RECORD,
                   with([](SimScript& s) { s.outputs[0].openResult = MIDI_ERROR; }),
                   "MIDI IN DEVICE: Calvenor Pro\r\n" + OUT_MISSING, {},
                   {"in 0 open", "in 0 start", "in 0 close"}});
    all.push_back({"a lone Microsoft output port", ONE_RECORD,
                   with([](SimScript& s) { s.outputs = {{"Microsoft GS Wavetable Synth", false}}; }),
                   "MIDI IN DEVICE: Calvenor Pro\r\nMIDI OUT DEVICE: Microsoft GS Wavetable Synth\r\n" +
                       OUT_MISSING,
                   {}, {"in 0 open", "in 0 start", "out 0 open", "out 0 close", "in 0 close"}});
    all.push_back({"output search starts at 1 after the GS synth", ONE_RECORD,
                   with([](SimScript& s) { s.outputs = {{"Microsoft GS Wavetable Synth", false}, {"Calvenor Pro"}}; }),
                   DEVICE + progress('-', 0) + DONE, Messages{id} + one,
                   {"in 0 open", "in 0 start", "out 1 open", "in 0 close", "out 1 close"}});
    all.push_back({"the GS synth in other letter case", ONE_RECORD,
                   with([](SimScript& s) { s.outputs = {{"MICROSOFT gs Wavetable Synth", false}, {"Calvenor Pro"}}; }),
                   DEVICE + progress('-', 0) + DONE, Messages{id} + one,
                   {"in 0 open", "in 0 start", "out 1 open", "in 0 close", "out 1 close"}});
    all.push_back({"another Microsoft output port is announced and passed over", ONE_RECORD,
                   with([](SimScript& s) { s.outputs = {{"MICROSOFT MIDI Mapper", false}, {"Calvenor Pro"}}; }),
                   "MIDI IN DEVICE: Calvenor Pro\r\nMIDI OUT DEVICE: MICROSOFT MIDI Mapper\r\n"
                   "MIDI OUT DEVICE: Calvenor Pro\r\n" + progress('-', 0) + DONE,
                   Messages{id} + one,
                   {"in 0 open", "in 0 start", "out 0 open", "out 0 close", "out 1 open", "in 0 close",
                    "out 1 close"}});

    // --- identify handshake ---
    all.push_back({"one record, acknowledged", ONE_RECORD, SimScript(), DEVICE + progress('-', 0) + DONE,
                   Messages{id} + one, FULL_RUN, {0, 2}});
    all.push_back({"empty kit: nothing to send", {}, SimScript(), DEVICE + DONE, {id}, FULL_RUN});
    all.push_back({"identify request cannot be sent", ONE_RECORD,
                   with([](SimScript& s) { s.failSendAt = 1; }), DEVICE + OUT_MISSING, {}, FULL_RUN});
    all.push_back({"target is resetting", ONE_RECORD,
                   with([](SimScript& s) { s.identifyReplies = replies({0x15}); }),
                   DEVICE + "Please wait the system reset and retry again!\n\n", {id}, FULL_RUN});
    all.push_back({"standard updater, GD32 target", ONE_RECORD,
                   with([](SimScript& s) { s.deviceId = 0x58; }),
                   DEVICE + "Error: The device and the upgrade file is not matched!\n\n", {id}, FULL_RUN});
    {
        Scenario gd32{"GD32 updater, GD32 target", ONE_RECORD, with([](SimScript& s) { s.deviceId = 0x58; }),
                      DEVICE + progress('-', 0) + DONE, Messages{identifyMessage(GD32_PROFILE)} + one, FULL_RUN};
        gd32.profile = &GD32_PROFILE;
        all.push_back(gd32);
        Scenario mismatch{"GD32 updater, standard target", ONE_RECORD, SimScript(),
                          DEVICE + "Error: The device and the upgrade file is not matched!\n\n",
                          {identifyMessage(GD32_PROFILE)}, FULL_RUN};
        mismatch.profile = &GD32_PROFILE;
        all.push_back(mismatch);
    }
    all.push_back({"target never answers the identify request", ONE_RECORD,
                   with([](SimScript& s) { s.identifyOtherwise = simSilence(); }), DEVICE + NOT_RESPONDING,
                   repeat({id}, 19), FULL_RUN, {0, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                                100, 100, 100, 100, 100, 100}});
    all.push_back({"identify answered at the fifth request", ONE_RECORD,
                   with([](SimScript& s) { s.identifyReplies = repeatReply(simSilence(), 4); }),
                   DEVICE + progress('-', 0) + DONE, repeat({id}, 5) + one, FULL_RUN, {0, 100, 100, 100, 100, 2}});
    {
        // It ends its own wait; each later request waits in full.
        std::vector<uint32_t> sleeps = {0, 2};
        sleeps.resize(19, 100);
        all.push_back({"a 1-byte message ends one wait but is no reply", ONE_RECORD,
                       with([](SimScript& s) {
                           s.identifyReplies = {simMessage({0xF0})};
                           s.identifyOtherwise = simSilence();
                       }),
                       DEVICE + NOT_RESPONDING, repeat({id}, 19), FULL_RUN, sleeps});
    }
    all.push_back({"a 1-byte message, then an answer 50 ms after the next request", ONE_RECORD,
                   with([](SimScript& s) { s.identifyReplies = {simMessage({0xF0}), simCode(0x48, 50)}; }),
                   DEVICE + progress('-', 0) + DONE, Messages{id, id} + one, FULL_RUN, {0, 2, 50}});
    // A power-up announcement or the answer of an interrupted run, sent
    // before this run listened, answers no request.
    all.push_back({"a message waiting in the device before the first request", ONE_RECORD,
                   with([](SimScript& s) { s.waitingMessage = {0xF0, 0x1A, 0xF7}; }),
                   DEVICE + progress('-', 0) + DONE, Messages{id} + one, FULL_RUN, {0, 2}});
    // Released as the next request goes out: it can come before that send
    // returns, so the next attempt takes it (a request is one message).
    all.push_back({"a late identify reply is taken by the next attempt", ONE_RECORD,
                   with([](SimScript& s) {
                       s.identifyReplies = {simCode(0x48, SIM_ON_NEXT_SEND)};
                       s.identifyOtherwise = simSilence();
                   }),
                   DEVICE + progress('-', 0) + DONE, Messages{id, id} + one, FULL_RUN, {0, 100, 0}});

    // --- record transfer ---
    all.push_back({"CRC error three times, then acknowledged", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = replies({0x20, 0x20, 0x20}); }),
                   DEVICE + times(progress('-', 0) + "\nThe CRC of the download file is error!\n", 3) +
                       progress('-', 0) + DONE,
                   Messages{id} + repeat(one, 4), FULL_RUN});
    all.push_back({"every rejection code and its message", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = replies({0x21, 0x22, 0x24, 0x25, 0x30}); }),
                   DEVICE + progress('-', 0) + "\nThe download file has been damaged!\n" + progress('-', 0) +
                       "\nThe download file has been damaged!\n" + progress('-', 0) +
                       "\nThe download file verifies error!\n" + progress('-', 0) + "\nThe MCU erases error!\n" +
                       progress('-', 0) + progress('-', 0) + DONE,
                   Messages{id} + repeat(one, 6), FULL_RUN});
    all.push_back({"target restarts", three, with([](SimScript& s) { s.recordReplies = replies({0x1A, 0x77}); }),
                   DEVICE + progress('-', 0) + progress('-', 33) +
                       "\rTransferring.. 100% done.  \nTarget update successfully!\n"
                       "\nThe System is restart, please wait!\n\n",
                   Messages{id} + recordMessages(three, 0) + recordMessages(three, 1), FULL_RUN});
    all.push_back({"a restart reply as the twentieth failure", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = repeatReply(simCode(0x30), 19) + replies({0x77}); }),
                   DEVICE + times(progress('-', 0), 20) + "\nError in updating.\n", Messages{id} + repeat(one, 20),
                   FULL_RUN});
    all.push_back({"twenty CRC errors", ONE_RECORD, with([](SimScript& s) { s.recordOtherwise = simCode(0x20); }),
                   DEVICE + times(progress('-', 0) + "\nThe CRC of the download file is error!\n", 19) +
                       progress('-', 0) + "\nError in updating.\n",
                   Messages{id} + repeat(one, 20), FULL_RUN});
    {
        std::vector<uint32_t> sleeps = {0, 2};
        sleeps.resize(21, 51);
        all.push_back({"target never answers a record", ONE_RECORD,
                       with([](SimScript& s) { s.recordOtherwise = simSilence(); }),
                       DEVICE + times(progress('-', 0), 20) + NOT_RESPONDING, Messages{id} + repeat(one, 20),
                       FULL_RUN, sleeps});
    }
    {
        // Due 1 ms after the judgement: it arrives during the resend. Its
        // only chunk has started, so nothing tells the late reply from an
        // answer to the resend.
        Scenario late{"a late reply to a one-chunk record is taken by the next attempt", ONE_RECORD,
                      with([](SimScript& s) { s.recordReplies = {simCode(0x1A, 52)}; }),
                      DEVICE + progress('-', 0) + progress('-', 0) + DONE, Messages{id} + one + one, FULL_RUN,
                      {0, 2, 51}};
        late.hostClockOnly = true;
        all.push_back(late);
    }
    all.push_back({"a record reply held until the resend", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = {simCode(0x1A, SIM_ON_NEXT_SEND)}; }),
                   DEVICE + progress('-', 0) + progress('-', 0) + DONE, Messages{id} + one + one, FULL_RUN,
                   {0, 2, 51}});
    {
        // Acknowledged 5 ms after the record's wait ended, while the resend's
        // chunks go out: forgotten, and the device's answer to the resend
        // decides. The rejected second record is sent again.
        Scenario late{"a late acknowledgement, then a CRC error on a later record", big,
                      with([](SimScript& s) { s.recordReplies = {simCode(0x1A, 56), simModel(), simCode(0x20)}; }),
                      DEVICE + progress('-', 0) + progress('-', 0) + progress('-', 33) + CRC + progress('-', 33) +
                          progress('\\', 66) + DONE,
                      Messages{id} + bigRecord(0) + bigRecord(0) + bigRecord(1) + bigRecord(1) + bigRecord(2),
                      FULL_RUN};
        late.hostClockOnly = true;
        all.push_back(late);
    }
    {
        // Each acknowledgement comes twice, 5 ms apart: the second arrives
        // while the next record's chunks go out.
        SimReply twice = simCode(0x1A);
        twice.copies = 2;
        twice.copyGapMs = 5;
        Scenario dup{"every record acknowledged twice, a later one rejected", big, SimScript(),
                     DEVICE + progress('-', 0) + progress('-', 33) + CRC + progress('-', 33) + progress('\\', 66) +
                         DONE,
                     Messages{id} + bigRecord(0) + bigRecord(1) + bigRecord(1) + bigRecord(2), FULL_RUN};
        dup.script.recordReplies = {twice, simCode(0x20)};
        dup.script.recordOtherwise = twice;
        all.push_back(dup);
    }
    all.push_back({"two acknowledgements in one packet, a later record rejected", three,
                   with([](SimScript& s) {
                       s.recordReplies = {simMessage({0xF0, 0x1A, 0xF7, 0xF0, 0x1A, 0xF7}), simCode(0x20)};
                   }),
                   DEVICE + progress('-', 0) + progress('-', 33) + CRC + progress('-', 33) + progress('\\', 66) + DONE,
                   Messages{id} + recordMessages(three, 0) + recordMessages(three, 1) + recordMessages(three, 1) +
                       recordMessages(three, 2),
                   FULL_RUN});
    all.push_back({"a 1-byte message does not end a record's wait", ONE_RECORD,
                   with([](SimScript& s) { s.recordReplies = {simMessage({0xF0})}; }),
                   DEVICE + progress('-', 0) + progress('-', 0) + DONE, Messages{id} + one + one, FULL_RUN,
                   {0, 2, 51}});
    all.push_back({"spinner over ten records", ten, SimScript(),
                   DEVICE + progress('-', 0) + progress('-', 10) + progress('\\', 20) + progress('\\', 30) +
                       progress('|', 40) + progress('|', 50) + progress('/', 60) + progress('/', 70) +
                       progress('-', 80) + progress('-', 90) + DONE,
                   [&] {
                       Messages m = {id};
                       for (size_t r = 0; r < 10; ++r) m = m + recordMessages(ten, r);
                       return m;
                   }(),
                   FULL_RUN});
    // The eighth record (the eighth shape) is sent twice.
    const std::string eighthResent = DEVICE + progress('-', 0) + progress('-', 11) + progress('\\', 22) +
                                     progress('\\', 33) + progress('|', 44) + progress('|', 55) + progress('/', 66) +
                                     progress('/', 77) + progress('/', 77) + progress('-', 88) + DONE;
    Messages eighthResentWire = {id};
    for (size_t r : {0, 1, 2, 3, 4, 5, 6, 7, 7, 8}) eighthResentWire = eighthResentWire + recordMessages(nine, r);
    all.push_back({"a resent record keeps its spinner shape, also the eighth", nine,
                   with([](SimScript& s) { s.recordReplies = replies({0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x1A, 0x30}); }),
                   eighthResent, eighthResentWire, FULL_RUN});
    all.push_back({"a silent attempt at the eighth spinner shape keeps it", nine,
                   with([](SimScript& s) {
                       s.recordReplies = repeatReply(simModel(), 7);
                       s.recordReplies.push_back(simSilence());
                   }),
                   eighthResent, eighthResentWire, FULL_RUN});
    all.push_back(realSizeKit(id));
    {
        // Records at 80 % wait 50 polls, from 85 % on 200 polls.
        Scenario longWait{"the long wait from 85 %", twenty,
                          with([](SimScript& s) {
                              s.recordReplies = repeatReply(simModel(), 16) + std::vector<SimReply>{
                                  simSilence(), simModel(), simSilence()};
                          }),
                          DEVICE, {id}, FULL_RUN};
        const char shapes[] = "--\\\\||//";
        int shape = 0;
        for (int r = 0; r < 20; ++r) {
            longWait.transcript += progress(shapes[shape % 8], 5 * r);
            if (r == 16 || r == 17) longWait.transcript += progress(shapes[shape % 8], 5 * r);
            ++shape;
            longWait.wire = longWait.wire + recordMessages(twenty, r);
            if (r == 16 || r == 17) longWait.wire = longWait.wire + recordMessages(twenty, r);
        }
        longWait.transcript += DONE;
        longWait.sleepsBefore = {0};
        longWait.sleepsBefore.resize(18, 2);  // the first attempts of records 0 to 16
        longWait.sleepsBefore.insert(longWait.sleepsBefore.end(), {51, 2, 201, 2, 2});
        all.push_back(longWait);
    }
    all.push_back({"a full chunk cannot be sent", three, with([](SimScript& s) { s.failSendAt = 2; }),
                   DEVICE + progress('-', 0) + "\nError: The MIDI Out of device is missing!\n\n", {id}, FULL_RUN});
    {
        const Bytes twoFull = sampleKit(2, 42);  // records of 46 bytes: two full chunks
        all.push_back({"a failed last chunk that is full ends the transfer", twoFull,
                       with([](SimScript& s) { s.failSendAt = 3; }),
                       DEVICE + progress('-', 0) + "\nError: The MIDI Out of device is missing!\n\n",
                       {id, recordMessages(twoFull, 0)[0]}, FULL_RUN});
    }
    {
        Scenario shortTail{"a failed short last chunk shows as a missing reply", three,
                           with([](SimScript& s) { s.failSendAt = 3; }),
                           DEVICE + progress('-', 0) + progress('-', 0) + progress('-', 33) + progress('\\', 66) + DONE,
                           Messages{id} + Messages{recordMessages(three, 0)[0]} + recordMessages(three, 0) +
                               recordMessages(three, 1) + recordMessages(three, 2),
                           FULL_RUN};
        shortTail.deviceErrors = {"unfinished record dropped"};
        all.push_back(shortTail);
    }
    all.push_back({"the output vanishes while a record is awaited", three,
                   with([](SimScript& s) {
                       s.recordReplies = {simSilence()};
                       s.failSendAt = 4;
                       s.failSendAfter = true;
                   }),
                   DEVICE + progress('-', 0) + progress('-', 0) + "\nError: The MIDI Out of device is missing!\n\n",
                   Messages{id} + recordMessages(three, 0), FULL_RUN});
    {
        // Unplugged mid-update: from message n on every send fails. A failed
        // short last chunk shows only as a missing reply; the resend fails.
        const std::string err = "\nError: The MIDI Out of device is missing!\n\n";
        const std::string p0 = progress('-', 0), p33 = progress('-', 33), p66 = progress('\\', 66);
        const std::string transcripts[] = {
            DEVICE + OUT_MISSING,      DEVICE + p0 + err,        DEVICE + p0 + p0 + err,
            DEVICE + p0 + p33 + err,   DEVICE + p0 + p33 + p33 + err, DEVICE + p0 + p33 + p66 + err,
            DEVICE + p0 + p33 + p66 + p66 + err,
        };
        Messages allSent = Messages{id} + recordMessages(three, 0) + recordMessages(three, 1) + recordMessages(three, 2);
        for (uint32_t n = 1; n <= 7; ++n) {
            SimScript script;
            script.failSendAt = n;
            script.failSendAfter = true;
            all.push_back({"unplugged at message " + std::to_string(n), three, script, transcripts[n - 1],
                           Messages(allSent.begin(), allSent.begin() + (n - 1)), FULL_RUN});
        }
    }
    // The Windows driver's habits, played by the WinMM test double.
    {
        Scenario slow{"the driver is slow to let go of each message", ONE_RECORD,
                      with([](SimScript& s) { s.driverHolds = 3; }), DEVICE + progress('-', 0) + DONE,
                      Messages{id} + one, FULL_RUN};
        slow.windowsOnly = true;
        slow.winmmPath = Scenario::ClassicPath;
        all.push_back(slow);
        // Given up after 50 waits of 100 ms (the double notes a shorter
        // step): reset, and the driver still holds
        // the message. It reads it once more as the port closes: the message
        // must still be there.
        Scenario stuck{"a driver that never lets go is given up", ONE_RECORD,
                       with([](SimScript& s) { s.driverHolds = 1000; }), DEVICE + OUT_MISSING, {id},
                       {"in 0 open", "in 0 start", "out 0 open", "out 0 reset after 51 still-playing answers",
                        "in 0 close",
                        "out 0 read after the give-up: " + hexText(id), "out 0 close"}};
        stuck.windowsOnly = true;
        stuck.winmmPath = Scenario::ClassicPath;
        all.push_back(stuck);
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
        all.push_back({"replies of 300 bytes", ONE_RECORD, SimScript(), DEVICE + progress('-', 0) + DONE,
                       Messages{id} + one, FULL_RUN});
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
        Scenario waiting{"a waiting message cut at 200 bytes, then the identify answer", ONE_RECORD,
                         SimScript(), DEVICE + progress('-', 0) + DONE, Messages{id} + one, FULL_RUN};
        waiting.script.waitingMessage = cutAt(0x30, 200);
        waiting.windowsOnly = true;
        all.push_back(waiting);
        Scenario lostTail{"an acknowledgement cut at 800 bytes, then a CRC error on the resend", three, SimScript(),
                          DEVICE + progress('-', 0) + progress('-', 0) + CRC + progress('-', 0) + progress('-', 33) +
                              progress('\\', 66) + DONE,
                          Messages{id} + repeat(recordMessages(three, 0), 3) + recordMessages(three, 1) +
                              recordMessages(three, 2),
                          FULL_RUN};
        lostTail.script.recordReplies = {simMessage(cutAt(0x1A, 800)), simCode(0x20)};
        lostTail.windowsOnly = true;
        all.push_back(lostTail);
    }
    for (const Scenario& s : deviceOnlyScenarios(one, id)) all.push_back(s);
    // Windows 11's MIDI service, played by the double's service mode.
    for (Scenario s : serviceScenarios(three, one, id)) {
        s.windowsOnly = true;
        s.winmmPath = Scenario::ServicePath;
        all.push_back(s);
    }
    return all;
}


