// The Linux executables on a real kernel's USB MIDI stack: a QEMU guest
// running Debian's kernel, where a MIDI gadget on the dummy USB controller
// plays the Calvenor Pro (tests/kernel/). One boot runs every case; each
// case runs an executable in a fresh folder with standard input closed and
// is checked here: the whole console text, and every message the device
// received.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/target_profile.h"
#include "tools/kit_writer.h"
#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace {

const std::string WORK = UPDATE_BUILD_DIR "/kernel-work";

struct Received {
    unsigned long long ms;
    SimBytes message;
};

struct KernelCase {
    std::string name;
    std::string exe;        // "update" or "update-gd32"
    Bytes kit;
    int devices;            // Calvenor Pro units plugged in
    std::string deviceArgs; // options of the first unit's emulator
    std::string transcript; // the whole console text
    Messages wire;          // every message the first unit received
    int asUser = 0;
    std::string page = "";  // instead of exe: this update page, in a real Chromium
    // Least and most milliseconds between two messages the unit received; 0: unchecked.
    unsigned long long leastGapMs = 0, mostGapMs = 0;
    // Report when the outcome's text was in the output (see below).
    bool failedBeforeEnd = false;
    // The units of the wire (the identify request, each record's chunks),
    // which may each go out more than once: the gadget's MIDI function at
    // times holds the tail of a long burst for a second or more, and the
    // record is then sent again, as it must be. Empty: the wire is exact.
    std::vector<Messages> resendable = {};
};

// The wire with each unit's repeats taken out, if it is the units in
// order, each one or more times; otherwise the wire as it is.
Messages withoutResends(const Messages& wire, const std::vector<Messages>& units, int& resends) {
    Messages once;
    size_t at = 0;
    resends = 0;
    for (const Messages& unit : units) {
        auto matches = [&] { return at + unit.size() <= wire.size() && std::equal(unit.begin(), unit.end(), wire.begin() + static_cast<long>(at)); };
        if (!matches()) return wire;
        once.insert(once.end(), unit.begin(), unit.end());
        for (at += unit.size(); matches(); at += unit.size()) ++resends;
    }
    return at == wire.size() ? once : wire;
}

// The console text with a progress line drawn again at once (a resend)
// taken out.
std::string withoutRedrawnLines(std::string text) {
    const std::string start = "\r                        \r";
    for (size_t at = text.find(start); at != std::string::npos;) {
        size_t next = text.find(start, at + start.size());
        if (next == std::string::npos) break;
        size_t end = text.find_first_of("\r\n", next + start.size());
        std::string line = text.substr(at, next - at), again = text.substr(next, (end == std::string::npos ? text.size() : end) - next);
        if (line == again) {
            text.erase(next, again.size());
        } else {
            at = next;
        }
    }
    return text;
}

std::vector<Received> readDeviceLog(const std::string& path) {
    std::vector<Received> all;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Received r{};
        std::string hex;
        if (!(fields >> r.ms >> hex)) continue;
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            r.message.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        all.push_back(r);
    }
    return all;
}

std::vector<KernelCase> cases() {
    const Bytes three = makeSampleImage(3, 30, 42);  // records of 34 bytes: a full chunk and a short one
    const SimBytes id = identifyMessage(STANDARD_PROFILE);
    const Messages r0 = recordMessages(three, 0), r1 = recordMessages(three, 1), r2 = recordMessages(three, 2);
    const std::string head = std::string(STANDARD_PROFILE.banner) + sayText(Say::KitOpen, "Calvenor_Pro.kit");
    const std::string device =
        sayText(Say::InDevice, "Calvenor Pro MIDI 1") + sayText(Say::OutDevice, "Calvenor Pro MIDI 1");
    const std::string done = sayText(Say::ProgressDone) + sayText(Say::Updated) + "\n";
    const std::string pause = sayText(Say::PressAnyKey) + "\n";
    const std::string noDevice = sayText(Say::NoDevice);
    const std::string wholeRun = head + device + progress('-', 0) + progress('-', 33) + progress('\\', 66) + done + pause;
    const Messages wholeWire = Messages{id} + r0 + r1 + r2;

    const Bytes big = makeSampleImage(3, 246, 7);  // records of 250 bytes: eleven chunks
    const Messages b0 = recordMessages(big, 0), b1 = recordMessages(big, 1), b2 = recordMessages(big, 2);
    const std::string crc = sayText(Say::CrcError);

    std::vector<KernelCase> all;
    all.push_back({"whole-update", "update", three, 1, "", wholeRun, wholeWire});
    // The page in a real Chromium over the same sequencer: the same run,
    // with the page's end instead of the pause.
    {
        KernelCase web{"web-page-whole-update", "", three, 1, "", wholeRun.substr(0, wholeRun.size() - pause.size()),
                       wholeWire};
        web.page = UPDATE_WEB_PAGE;
        all.push_back(web);
    }
    // More than the sequencer's default input pool holds: every answer is
    // taken, none lost in the kernel (one whose tail the gadget holds back
    // makes its record go out again, and is never taken late).
    {
        KernelCase burst{"replies-of-5000-bytes", "update", three, 1, "--reply-bytes 5000", wholeRun, wholeWire};
        burst.resendable = {{id}, r0, r1, r2};
        all.push_back(burst);
    }
    // Clock and active sensing in bursts of 4 000 while a record's chunks go
    // out and the run reads nothing: the input takes System Exclusive
    // events alone, so nothing fills its pool (the account would say it
    // overran).
    all.push_back({"real-time-flood-while-chunks-go-out", "update", big, 1, "--flood 4000",
                   head + device + progress('-', 0) + progress('-', 33) + progress('\\', 66) + done + pause,
                   Messages{id} + b0 + b1 + b2});
    // Each 5 000-byte answer comes again 3 ms later, as the next record's
    // eleven chunks go out and the run reads nothing: its input pool holds
    // it (the account would say the input overran), and the second copy
    // answers nothing.
    {
        KernelCase twice{"replies-of-5000-bytes-twice-while-chunks-go-out", "update", big, 1,
                         "--reply-bytes 5000 --duplicate 3",
                         head + device + progress('-', 0) + progress('-', 33) + progress('\\', 66) + done + pause,
                         Messages{id} + b0 + b1 + b2};
        twice.resendable = {{id}, b0, b1, b2};
        all.push_back(twice);
    }
    // A 1 kHz clock stream takes no room of the input, and ends no poll.
    all.push_back({"clock-stream-slow-device", "update", three, 1,
                   "--clock 1 --identify-delay 600 --record-delays 500,500,500", wholeRun, wholeWire});
    // Each answer comes twice, 5 ms apart: the second is forgotten as the
    // next record's chunks go out, so the rejected record is sent again.
    all.push_back({"duplicate-answers-crc-later", "update", big, 1, "--duplicate 5 --record-codes 1A,20",
                   head + device + progress('-', 0) + progress('-', 33) + crc + progress('-', 33) +
                       progress('\\', 66) + done + pause,
                   Messages{id} + b0 + b1 + b1 + b2});
    // An answer left in the device by an interrupted run comes only once the
    // port listens, a few milliseconds later: it answers no request.
    all.push_back({"message-waiting-before-the-run", "update", three, 1, "--announce", wholeRun, wholeWire});
    {
        // It takes record 2, then reads nothing more: no answer to any resend.
        std::string transcript = head + device + progress('-', 0);
        for (int i = 0; i < 20; ++i) transcript += progress('-', 33);
        KernelCase stuck{"device-stops-reading", "update", three, 1, "--stop-reading 2",
                         transcript + sayText(Say::NotResponding) + pause, Messages{id} + r0 + r1};
        stuck.failedBeforeEnd = true;
        all.push_back(stuck);
    }
    all.push_back({"crc-error-then-resend", "update", three, 1, "--record-codes 20",
                   head + device + progress('-', 0) + sayText(Say::CrcError) + progress('-', 0) +
                       progress('-', 33) + progress('\\', 66) + done + pause,
                   Messages{id} + r0 + r0 + r1 + r2});
    all.push_back({"restart-reply", "update", three, 1, "--record-codes 1A,77",
                   head + device + progress('-', 0) + progress('-', 33) +
                       sayText(Say::ProgressDone) + sayText(Say::Updated) + sayText(Say::Restarting) + pause,
                   Messages{id} + r0 + r1});
    all.push_back({"replies-in-pieces", "update", three, 1, "--pieces", wholeRun, wholeWire});
    // Identified after 600 ms, records acknowledged after 300 to 500 ms, as
    // while the device erases its flash: one request, each record once.
    all.push_back({"slow-device", "update", three, 1, "--identify-delay 600 --record-delays 300,500,400", wholeRun,
                   wholeWire});
    {
        KernelCase silent{"silent-device", "update", three, 1, "--silent",
                          head + device + sayText(Say::NotResponding) + pause, Messages(19, id)};
        silent.leastGapMs = 1562;  // 100 polls of 15.625 ms
        silent.mostGapMs = 2500;
        all.push_back(silent);
    }
    all.push_back({"gd32-build-standard-device", "update-gd32", three, 1, "",
                   std::string(GD32_PROFILE.banner) + sayText(Say::KitOpen, "Calvenor_Pro.kit") + device +
                       sayText(Say::TargetNotMatched) + pause,
                   {identifyMessage(GD32_PROFILE)}});
    all.push_back({"no-device", "update", three, 0, "", head + noDevice + pause, {}});
    all.push_back({"two-devices", "update", three, 2, "",
                   head + sayText(Say::TooManyDevices, 2) + pause,
                   {}});
    // Unplugged once record 2 is in: no answer, and the resend finds no port.
    all.push_back({"unplugged-mid-update", "update", three, 1, "--unplug @UDC@ 2",
                   head + device + progress('-', 0) + progress('-', 33) + progress('-', 33) +
                       "\n" + sayText(Say::OutMissing) + pause,
                   Messages{id} + r0 + r1});
    {
        KernelCase denied{"sequencer-not-permitted", "update", three, 1, "",
                          head + sayText(Say::SequencerFails, "Permission denied") +
                              noDevice + pause,
                          {}};
        denied.asUser = 65534;
        all.push_back(denied);
    }
    return all;
}

std::string caseFolder(size_t index, const KernelCase& c) {
    char number[8];
    std::snprintf(number, sizeof number, "%02zu", index);
    return WORK + "/cases/" + number + "-" + c.name;
}

TEST(RealKernel, UpdatesThroughAUsbMidiGadget) {
    const std::vector<KernelCase> all = cases();
    std::filesystem::remove_all(WORK);
    std::filesystem::create_directories(WORK + "/cases");
    ASSERT_TRUE(writeTextFile(WORK + "/build.path", UPDATE_BUILD_DIR "\n"));
    for (size_t i = 0; i < all.size(); ++i) {
        const KernelCase& c = all[i];
        std::string dir = caseFolder(i, c);
        std::filesystem::create_directories(dir + "/kit");
        ASSERT_TRUE(writeTextFile(dir + "/kit/Calvenor_Pro.kit", kitText(c.kit)));
        ASSERT_TRUE(writeTextFile(dir + "/case", "EXE=" + c.exe + "\nDEVICES=" + std::to_string(c.devices) +
                                                     "\nDEVICE_ARGS='" + c.deviceArgs + "'\nAS_USER=" +
                                                     std::to_string(c.asUser) + "\nPAGE=" + c.page + "\n"));
    }
    // The page's case needs the pages' build and its browser driver.
    ASSERT_TRUE(std::filesystem::exists(UPDATE_WEB_PAGE)) << "build the pages first: cmake --workflow --preset web";
    ASSERT_TRUE(std::filesystem::exists(UPDATE_SOURCE_DIR "/tests/web/node_modules/puppeteer-core"))
        << "install the pages' test driver first: (cd tests/web && npm ci)";
    ProgramRun boot = runProgram(UPDATE_SOURCE_DIR "/tests/kernel/boot", WORK, {WORK});
    ASSERT_EQ(boot.exitCode, 0) << boot.out << boot.err;

    for (size_t i = 0; i < all.size(); ++i) {
        const KernelCase& c = all[i];
        SCOPED_TRACE(c.name);
        std::string dir = caseFolder(i, c);
        std::string transcript = readFile(dir + "/stdout");
        if (!c.resendable.empty()) transcript = withoutRedrawnLines(transcript);
        EXPECT_EQ(transcript, c.transcript);
        EXPECT_EQ(readFile(dir + "/stderr"), "");
        EXPECT_EQ(readFile(dir + "/exit"), "0\n");
        // No thread but the run's own: replies are read in its poll pauses.
        std::istringstream threads(readFile(dir + "/threads"));
        int most = -1;
        long long failedMsBeforeEnd = -1;
        EXPECT_TRUE(threads >> most >> failedMsBeforeEnd);
        EXPECT_LE(most, 1);
        if (c.name == "whole-update") {
            EXPECT_EQ(most, 1);
        }
        // For information: the gadget drops what its program does not read
        // rather than refusing it, so the release is quick here and the
        // guest's sampling may miss the moment (-1).
        if (c.failedBeforeEnd)
            std::printf("%s: the failure text was out %lld ms before the run ended\n", c.name.c_str(),
                        failedMsBeforeEnd);
        if (c.devices == 0) continue;
        std::vector<Received> received = readDeviceLog(dir + "/device0.log");
        Messages wire;
        for (const Received& r : received) wire.push_back(r.message);
        // The sequencer's input never overran (its pool holds the longest
        // answers; nothing else takes its room).
        std::string account = readFile(dir + "/update-log.txt");
        EXPECT_EQ(account.find("overran"), std::string::npos) << account;
        // The run's account beside the kit tells what the unit received.
        if (c.name == "whole-update") {
            std::string shown = readFile(dir + "/stdout");
            EXPECT_EQ(checkAccount(readFile(dir + "/update-log.txt"), shown.substr(0, shown.rfind("Press any key")),
                                   c.kit, &wire),
                      "");
        }
        if (!c.resendable.empty()) {
            int resends = 0;
            wire = withoutResends(wire, c.resendable, resends);
            std::printf("%s: %d unit(s) sent again\n", c.name.c_str(), resends);
        }
        EXPECT_EQ(wire, c.wire);
        if (c.leastGapMs == 0) continue;
        for (size_t m = 1; m < received.size(); ++m) {
            unsigned long long gap = received[m].ms - received[m - 1].ms;
            EXPECT_GE(gap, c.leastGapMs) << "before message " << m;
            EXPECT_LE(gap, c.mostGapMs) << "before message " << m;
        }
    }
}

}  // namespace
