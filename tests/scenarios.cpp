#include "tests/scenarios.h"

#include "core/sha256.h"
#include "tests/scenario_rows.h"
#include "tests/sim_script.h"
#include "tests/test_support.h"

#include <algorithm>
#include <cstdio>
#include <sstream>


TestScript with(void (*change)(TestScript&)) {
    TestScript s;
    change(s);
    return s;
}

Events portEvents(const SimLog& log) {
    Events events;
    for (const auto& e : log.events)
        if (startsWith(e, "in ") || startsWith(e, "out ")) events.push_back(e);
    return events;
}

RunShape shapeOf(const std::string& console, const Messages& wire) {
    RunShape shape;
    const std::string format = textFormat(Say::Progress);
    const std::string draw = format.substr(0, format.find("%c"));
    size_t at = 0;
    for (size_t found; (found = console.find(draw, at)) != std::string::npos;) {
        size_t end = console.find("% done", found);
        if (end == std::string::npos) break;
        shape.text += console.substr(at, found - at);
        std::string percent = console.substr(found + draw.size() + 2, end - found - draw.size() - 2);
        if (std::find(shape.percents.begin(), shape.percents.end(), percent) == shape.percents.end())
            shape.percents.push_back(percent);
        at = end + 6;
    }
    shape.text += console.substr(at);
    for (const SimBytes& m : wire)
        if (std::find(shape.firstSent.begin(), shape.firstSent.end(), m) == shape.firstSent.end())
            shape.firstSent.push_back(m);
    return shape;
}

std::string sha256Hex(const std::string& bytes) {
    Sha256 hash;
    sha256Begin(hash);
    sha256Add(hash, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    char hex[65];
    sha256End(hash, hex);
    return hex;
}

const Bytes ONE_RECORD = {0x00, 0x04, 0xAA, 0xBB, 0x9B, 0xFE};

std::string progress(char shape, int percent) {
    return sayText(Say::Progress, shape, percent);
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
    if (!startsWith(line, head) || line.size() <= head.size() || line.back() != '"') return false;
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
        if (startsWith(text, "console ")) {
            if (!unescapeConsole(text, shown)) return "a console line that does not read back: " + text;
        } else if (startsWith(text, "program: ")) {
            ++program;
        } else if (startsWith(text, "system: ")) {
            ++system;
        } else if (startsWith(text, "outcome: ")) {
            ++outcomes;
            if (text.find("could not be sent") != std::string::npos) sendFailed = true;
        } else if (seen == nullptr) {
            continue;
        } else if (startsWith(text, "identify request ") && endsWith(text, " sent")) {
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

std::vector<Scenario> scenarios() {
    std::vector<Scenario> all;
    for (auto rows : {scenario_rows::portRows, scenario_rows::identifyRows, scenario_rows::transferRows,
                      scenario_rows::winmmRows})
        for (Scenario& s : rows()) all.push_back(std::move(s));
    return all;
}
