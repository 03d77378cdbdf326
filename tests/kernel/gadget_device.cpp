// The Calvenor Pro on the gadget side of a USB MIDI link: reads the host's
// System Exclusive messages from the gadget's raw MIDI device, answers as
// the emulated device does (identify reply, records reassembled from their
// chunks and checked), and logs every message it received.
//
//   gadget_device RAWMIDI LOG [option ...]
//     --id HEX               what it answers to the identify request (48)
//     --identify-delay MS    delay of its identify answer
//     --record-delays MS,..  delay of its answer to record 1, 2, ...
//     --record-codes HEX,..  answers to record 1, 2, ... instead of its own
//     --silent               answers nothing at all
//     --pieces               answers with 300-byte messages, written in pieces
//     --reply-bytes N        answers with N-byte messages, written in pieces
//     --duplicate MS         sends every answer again MS later
//     --clock MS             sends a MIDI clock byte (F8) every MS
//     --flood N              as each record's first chunk comes in, sends N
//                            real-time bytes (clock and active sensing) at once
//     --announce             sends F0 1A F7 before it reads anything, as a
//                            device that answered an interrupted run
//     --stop-reading N       once the Nth record is in, reads nothing more
//     --unplug UDC_FILE N    on the Nth record it unplugs itself instead of
//                            answering (writes nothing to the gadget's UDC)
//
// LOG gets one line per message received: milliseconds since the start and
// the message in hex. Once the device is set up (its raw MIDI device open,
// the announcement written) it creates LOG.ready, so the host's program is
// started only after that.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sim/device.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    DeviceScript script;
    size_t replyBytes = 0;  // 0: answers as they are
    int duplicateMs = -1;
    int clockMs = 0;
    size_t flood = 0;
    bool announce = false;
    size_t stopReadingAt = 0;
    std::string unplugFile;
    size_t unplugAt = 0;
};

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        parts.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

bool parseOptions(int argc, char** argv, Options& o) {
    o.script.modelDelayMs = 2;
    o.script.partialTimeoutMs = 2000;  // the guest runs under emulation
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--id") {
            o.script.deviceId = static_cast<uint8_t>(std::strtoul(next().c_str(), nullptr, 16));
        } else if (a == "--identify-delay") {
            o.script.identifyOtherwise = simModel(static_cast<uint32_t>(std::atoi(next().c_str())));
        } else if (a == "--record-delays") {
            for (const std::string& ms : split(next()))
                o.script.recordReplies.push_back(simModel(static_cast<uint32_t>(std::atoi(ms.c_str()))));
        } else if (a == "--record-codes") {
            for (const std::string& code : split(next()))
                o.script.recordReplies.push_back(simCode(static_cast<uint8_t>(std::strtoul(code.c_str(), nullptr, 16))));
        } else if (a == "--silent") {
            o.script.identifyOtherwise = simSilence();
            o.script.recordOtherwise = simSilence();
        } else if (a == "--pieces") {
            o.replyBytes = 300;
        } else if (a == "--reply-bytes") {
            o.replyBytes = static_cast<size_t>(std::atoi(next().c_str()));
        } else if (a == "--duplicate") {
            o.duplicateMs = std::atoi(next().c_str());
        } else if (a == "--clock") {
            o.clockMs = std::atoi(next().c_str());
        } else if (a == "--flood") {
            o.flood = static_cast<size_t>(std::atoi(next().c_str()));
        } else if (a == "--announce") {
            o.announce = true;
        } else if (a == "--stop-reading") {
            o.stopReadingAt = static_cast<size_t>(std::atoi(next().c_str()));
        } else if (a == "--unplug") {
            o.unplugFile = next();
            o.unplugAt = static_cast<size_t>(std::atoi(next().c_str()));
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return false;
        }
    }
    return true;
}

struct Pending {
    Clock::time_point due;
    SimBytes message;
};

volatile sig_atomic_t stopping = 0;

// Writes all of it, waiting for room, unless told to stop meanwhile (the
// host may have stopped reading for good).
void writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0 && !stopping) {
        ssize_t n = write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        pollfd room = {fd, POLLOUT, 0};
        poll(&room, 1, 100);
    }
}

// A long answer: the code, then filler bytes to `bytes` in all. One of 300
// bytes is written in pieces of 64 bytes 10 ms apart, a longer one at once,
// as a burst. The kernel's sequencer hands on a System Exclusive message in
// events of at most 256 bytes, so the host receives it in several events
// (and keeps its first 200 bytes).
void answer(int fd, const SimBytes& reply, size_t bytes) {
    if (bytes == 0) {
        writeAll(fd, reply.data(), reply.size());
        return;
    }
    SimBytes longer(reply.begin(), reply.end() - 1);
    longer.resize(bytes - 1, 0x00);
    longer.push_back(0xF7);
    size_t piece = bytes > 300 ? longer.size() : 64;
    for (size_t at = 0; at < longer.size(); at += piece) {
        writeAll(fd, longer.data() + at, std::min(piece, longer.size() - at));
        if (piece == 64) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A stop request interrupts the wait, so the log is finished.
    struct sigaction stop = {};
    stop.sa_handler = [](int) { stopping = 1; };
    sigaction(SIGTERM, &stop, nullptr);
    Options o;
    if (argc < 3 || !parseOptions(argc, argv, o)) return 2;
    int fd = open(argv[1], O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    FILE* log = std::fopen(argv[2], "w");
    if (log == nullptr) return 1;

    SimDevice device;
    device.script = &o.script;
    DeviceLog simLog;
    auto start = Clock::now();
    auto nowMs = [&] {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };
    std::vector<Pending> pending;
    SimBytes message;
    bool inMessage = false;
    bool reading = true;
    auto nextClock = Clock::now();
    const uint8_t clock = 0xF8;
    if (o.announce) {
        const uint8_t stale[] = {0xF0, 0x1A, 0xF7};
        writeAll(fd, stale, sizeof stale);
    }
    if (FILE* ready = std::fopen((std::string(argv[2]) + ".ready").c_str(), "w")) std::fclose(ready);

    while (!stopping) {
        int timeout = -1;
        auto soonest = Clock::time_point::max();
        if (!pending.empty()) soonest = pending.front().due;
        if (o.clockMs > 0) soonest = std::min(soonest, nextClock);
        if (soonest != Clock::time_point::max()) {
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(soonest - Clock::now()).count();
            timeout = wait < 0 ? 0 : static_cast<int>(wait);
        }
        pollfd p = {fd, static_cast<short>(reading ? POLLIN : 0), 0};
        int ready = poll(&p, 1, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        // What falls due goes out on time, also while the host keeps sending.
        while (o.clockMs > 0 && nextClock <= Clock::now()) {
            if (write(fd, &clock, 1) < 0) {
            }  // no room: this tick is dropped, as a full cable would
            nextClock += std::chrono::milliseconds(o.clockMs);
        }
        while (!pending.empty() && pending.front().due <= Clock::now()) {
            answer(fd, pending.front().message, o.replyBytes);
            pending.erase(pending.begin());
        }
        if (ready == 0 || !(p.revents & POLLIN)) {
            if (p.revents & (POLLERR | POLLHUP)) break;
            continue;
        }
        uint8_t bytes[256];
        ssize_t n = read(fd, bytes, sizeof bytes);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;  // the gadget is gone
        for (ssize_t i = 0; i < n; ++i) {
            uint8_t b = bytes[i];
            if (b == 0xF0) {
                message.clear();
                inMessage = true;
            }
            if (!inMessage) continue;
            message.push_back(b);
            if (b != 0xF7) continue;
            inMessage = false;

            uint64_t now = nowMs();
            std::fprintf(log, "%llu ", static_cast<unsigned long long>(now));
            for (uint8_t m : message) std::fprintf(log, "%02X", m);
            std::fprintf(log, "\n");
            std::fflush(log);

            size_t recordsBefore = simLog.records.size();
            bool recordBegins = device.assembling.empty();
            SimReply reply = simDeviceReceive(device, message, now, simLog);
            // A record's first chunk (of several): the host sends the rest
            // without reading meanwhile, and the flood waits in its input.
            if (o.flood > 0 && recordBegins && !device.assembling.empty()) {
                SimBytes flood(o.flood);
                for (size_t f = 0; f < flood.size(); ++f) flood[f] = f % 2 ? 0xFE : 0xF8;
                writeAll(fd, flood.data(), flood.size());
            }
            if (o.unplugAt != 0 && simLog.records.size() == o.unplugAt && recordsBefore < o.unplugAt) {
                FILE* udc = std::fopen(o.unplugFile.c_str(), "w");
                if (udc != nullptr) {
                    std::fputs("\n", udc);
                    std::fclose(udc);
                }
                continue;
            }
            if (o.stopReadingAt != 0 && simLog.records.size() == o.stopReadingAt) {
                reading = false;  // from now on the host's data stays unread
                break;
            }
            if (reply.kind != SimReply::Message) continue;
            auto due = Clock::now() + std::chrono::milliseconds(reply.delayMs);
            pending.push_back({due, reply.message});
            if (o.duplicateMs >= 0) pending.push_back({due + std::chrono::milliseconds(o.duplicateMs), reply.message});
            std::stable_sort(pending.begin(), pending.end(),
                             [](const Pending& a, const Pending& b) { return a.due < b.due; });
        }
    }
    for (const std::string& e : simLog.deviceErrors) std::fprintf(log, "error %s\n", e.c_str());
    std::fclose(log);
    return 0;
}
