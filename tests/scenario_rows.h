// The scenario table's own pieces, shared by its files by area
// (scenarios_ports.cpp, _identify, _transfer, _winmm): the texts and
// events the rows expect, helpers to write them, and the row builder.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace scenario_rows {


inline const std::string DEVICE = sayText(Say::InDevice, "Calvenor Pro") + sayText(Say::OutDevice, "Calvenor Pro");
inline const std::string DONE = sayText(Say::ProgressDone) + sayText(Say::Updated) + "\n";
inline const std::string OUT_MISSING = sayText(Say::OutMissing);
inline const std::string NOT_RESPONDING = sayText(Say::NotResponding);
inline const std::string CRC_ERROR = sayText(Say::CrcError);
// The polls the input listens before the first identify request: the
// host's sleeps before it.
constexpr uint32_t LISTEN = 10;
inline const Events FULL_RUN = {"in 0 open", "in 0 start", "out 0 open", "in 0 close", "out 0 close"};


inline std::string times(const std::string& text, int n) {
    std::string all;
    for (int i = 0; i < n; ++i) all += text;
    return all;
}


inline Messages repeat(const Messages& m, int n) {
    Messages all;
    for (int i = 0; i < n; ++i) all = all + m;
    return all;
}

inline std::vector<SimReply> replies(std::initializer_list<uint8_t> codes) {
    std::vector<SimReply> all;
    for (uint8_t code : codes) all.push_back(simCode(code));
    return all;
}

inline std::vector<SimReply> repeatReply(const SimReply& reply, int n) { return std::vector<SimReply>(n, reply); }

using ::operator+;  // of Messages, beside this one

inline std::vector<SimReply> operator+(std::vector<SimReply> a, const std::vector<SimReply>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes sampleKit(size_t records, size_t payload) { return makeSampleImage(records, payload, 42); }

// The progress line's spinner, as the owner sees it: each of the four
// shapes on two successive lines.
inline const char SPINNER_SHAPES[] = "--\\\\||//";


// One row of the table, its parts named: what the run is given (its name,
// the kit, the device's script), what it must print, which messages it
// must send, the port events, and the host's sleeps before each message.
struct Row {
    Scenario s;
    Row(std::string name, Bytes kit) {
        s.name = std::move(name);
        s.kit = std::move(kit);
    }
    Row& script(TestScript v) {
        s.script = std::move(v);
        return *this;
    }
    Row& prints(std::string v) {
        s.transcript = std::move(v);
        return *this;
    }
    Row& sends(Messages v) {
        s.wire = std::move(v);
        return *this;
    }
    Row& ports(Events v) {
        s.events = std::move(v);
        return *this;
    }
    Row& sleeps(std::vector<uint32_t> v) {
        s.sleepsBefore = std::move(v);
        return *this;
    }
    Row& logs(std::vector<std::string> v) {
        s.accountLines = std::move(v);
        return *this;
    }
    operator Scenario() const { return s; }
};

// The rows of each area, in the table's order.
std::vector<Scenario> portRows();
std::vector<Scenario> identifyRows();
std::vector<Scenario> transferRows();
std::vector<Scenario> winmmRows();

}  // namespace scenario_rows
