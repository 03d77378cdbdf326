// Writes the scenario table's rows that a browser can show, as JSON for the
// page's tests (run_page.mjs): the kit's text, the device's script, the
// console text the run must print and every message the device must
// receive. Left out: the Windows driver's habits, rows whose timing holds
// only on the emulation's host clock, and ports that fail to start (Web
// MIDI has no start).
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/kit_writer.h"
#include "tests/scenarios.h"
#include "tests/sim_script.h"
#include "tests/test_support.h"

namespace {

bool browserCanShow(const Scenario& s) {
    if (s.windowsOnly || s.hostClockOnly) return false;
    for (const SimPort& p : s.script.inputs)
        if (p.startResult != MIDI_OK) return false;
    return true;
}

// How the row's run leaves the unit, as the page's verdict must say.
const char* verdictOf(const Scenario& s) {
    const std::string& t = s.transcript;
    if (t.find(sayText(Say::Restarting)) != std::string::npos) return "restarts";
    if (endsWith(t, sayText(Say::Updated) + "\n")) return "updated";
    if (t.find(progress('-', 0)) != std::string::npos) return "unfinished";
    return "untouched";
}

// The page's texts the owners' rows look for, from the console's table.
std::string textsJson() {
    return "{\"outMissingInTransfer\":" + jsonQuoted("\n" + sayText(Say::OutMissing)) +
           ",\"kitOpenMarch\":" + jsonQuoted(sayText(Say::KitOpen, "Calvenor_Pro_M\xC3\xA4rz.kit")) + "}";
}

}  // namespace

// For tools/bench: one whole update of 250 two-chunk records, answered at
// once.
int benchRow(const char* path) {
    TestScript script;
    script.modelDelayMs = 0;
    Bytes kit = makeSampleImage(250, 22, 7);
    std::string json = "{\"texts\":" + textsJson() +
                       ",\"rows\":[{\"name\":\"the page's pacing\",\"gd32\":false,\"records\":250,\"kit\":" +
                       jsonQuoted(kitText(kit)) + ",\"script\":" + jsonQuoted(simScriptText(script)) + "}]}\n";
    std::ofstream(path, std::ios::binary) << json;
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--bench") return benchRow(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: web_rows ROWS.json | web_rows --bench ROW.json\n");
        return 2;
    }
    std::string json = "{\"texts\":" + textsJson() + ",\n\"rows\":[\n";
    int rows = 0;
    for (const Scenario& s : scenarios()) {
        if (!browserCanShow(s)) continue;
        std::string wire = "[";
        for (size_t i = 0; i < s.wire.size(); ++i) wire += (i ? "," : "") + jsonQuoted(hexText(s.wire[i]));
        wire += "]";
        std::string events = "[";
        bool first = true;
        for (const std::string& e : s.events) {
            if (endsWith(e, " start")) continue;  // no start in Web MIDI
            events += (first ? "" : ",") + jsonQuoted(e);
            first = false;
        }
        events += "]";
        std::string errors = "[";
        for (size_t i = 0; i < s.deviceErrors.size(); ++i) errors += (i ? "," : "") + jsonQuoted(s.deviceErrors[i]);
        errors += "]";
        json += std::string(rows ? ",\n" : "") + "{\"name\":" + jsonQuoted(s.name) +
                ",\"gd32\":" + (s.profile == &GD32_PROFILE ? "true" : "false") + ",\"kit\":" + jsonQuoted(kitText(s.kit)) +
                ",\"script\":" + jsonQuoted(simScriptText(s.script)) +
                ",\"console\":" + jsonQuoted(s.profile->banner + sayText(Say::KitOpen, "Calvenor_Pro.kit") + s.transcript) +
                ",\"verdict\":\"" + verdictOf(s) + "\"" + ",\"wire\":" + wire + ",\"events\":" + events +
                ",\"deviceErrors\":" + errors + "}";
        ++rows;
    }
    json += "\n]}\n";
    std::ofstream(argv[1], std::ios::binary) << json;
    std::printf("%d rows\n", rows);
    return 0;
}
