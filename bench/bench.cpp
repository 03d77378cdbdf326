// Measures what the updater costs, and prints one table:
//  - loading and walking a kit of 65535 values, against a plain
//    fscanf("%2X") loop over the same file;
//  - a whole update of a kit of about 65 000 bytes against the emulated
//    device answering at once, in real time: wall time against the pacing
//    floor (the sum of the sleeps the pacing asks for), and how often the
//    run's thread is woken per record;
//  - the CPU time of whole updates against bare loops of 1 ms sleeps over
//    the same time, alternating, as ratios of the sums (for information);
//  - the heap allocations of a whole run for a 1-record and a 2 800-record
//    kit (the emulated device's own allocations left out).
#include <sched.h>
#include <sys/resource.h>
#include <time.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "core/console.h"
#include "tests/console_capture.h"
#include "app/run.h"
#include "kit/kit.h"
#include "tools/kit_writer.h"
#include "midi/midi_link.h"
#include "core/platform.h"
#include "sim/emulation.h"
#include "tests/in_process_run.h"
#include "tests/test_support.h"

// --- counting the host's heap allocations --------------------------------

namespace {
std::atomic<bool> countingAllocations{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (countingAllocations.load(std::memory_order_relaxed) && !simBusyOnThisThread())
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// The median time of `runs` calls of `work`, in seconds.
template <typename Work>
double medianSeconds(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        work();
        times.push_back(secondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Row {
    std::string measure;
    std::string value;
    std::string target;
};

std::string format(const char* f, double v) {
    char text[64];
    std::snprintf(text, sizeof text, f, v);
    return text;
}

void kitRows(std::vector<Row>& rows) {
    WorkingFolder folder;
    Bytes image = makeSampleImage(2849, 19, 5);
    Bytes last = makeKitRecord({1, 2, 3, 4});
    image.insert(image.end(), last.begin(), last.end());
    writeTextFile("Calvenor_Pro.kit", kitText(image));

    static KitImage kit;
    KitFileFacts facts;
    std::string console;
    consoleCaptureTo(&console);
    double ours = medianSeconds(51, [&] {
        console.clear();
        if (loadKitImage("Calvenor_Pro.kit", kit, facts) != Outcome::GoOn || validateKitImage(kit) != Outcome::GoOn ||
            kit.count != 65535)
            std::abort();
    });
    consoleCaptureTo(nullptr);

    double baseline = medianSeconds(51, [&] {
        FILE* file = std::fopen("Calvenor_Pro.kit", "rb");
        unsigned value = 0;
        size_t count = 0;
        while (count < 65535 && std::fscanf(file, "%2X", &value) == 1) kit.bytes[count++] = static_cast<uint8_t>(value);
        std::fclose(file);
        if (count != 65535) std::abort();
    });
    rows.push_back({"kit load + walk, 65535 values", format("%.3f ms per kit", ours * 1e3), ""});
    rows.push_back({"fscanf(\"%2X\") loop, same file", format("%.3f ms per kit", baseline * 1e3), ""});
    rows.push_back({"fscanf loop / load + walk", format("%.1f x", baseline / ours), "> 1"});
}

struct RunCost {
    double wall;
    double cpu;         // the whole process
    long wakeUps;       // the run's thread: voluntary context switches
    SimLog log;
};

long threadWakeUps() {
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

RunCost wholeRun(const Bytes& image, const SimScript& script) {
    WorkingFolder folder;
    RunCost cost{};
    InProcessRun run = runInProcess(STANDARD_PROFILE, image, script, [&cost](const std::function<int()>& update) {
        double cpu0 = cpuSeconds();
        long wakeUps0 = threadWakeUps();
        auto start = Clock::now();
        update();
        cost.wall = secondsSince(start);
        cost.cpu = cpuSeconds() - cpu0;
        cost.wakeUps = threadWakeUps() - wakeUps0;
    });
    cost.log = run.log;
    if (run.console.find(textFormat(Say::Updated)) == std::string::npos) {
        std::fprintf(stderr, "the update did not succeed:\n%s\n", run.console.c_str());
        std::exit(1);
    }
    return cost;
}

// CPU time of a bare loop of 1 ms sleeps lasting `seconds`.
double bareSleepLoopCpu(double seconds) {
    double cpu0 = cpuSeconds();
    auto start = Clock::now();
    while (secondsSince(start) < seconds) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return cpuSeconds() - cpu0;
}

// Keeps the calling thread, and the threads it starts, on one core while
// it lives (core -1 leaves them where they are).
struct Cores {
    cpu_set_t previous;
    explicit Cores(int core) {
        sched_getaffinity(0, sizeof previous, &previous);
        if (core < 0) return;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(core, &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    ~Cores() { sched_setaffinity(0, sizeof previous, &previous); }
};

SimScript benchScript() {
    SimScript script;
    script.realTime = true;
    script.wallClock = true;  // replies fall due in real time, as from a driver
    script.modelDelayMs = 0;  // answers at once
    script.keepLog = false;   // the device's own bookkeeping is not the updater's cost
    return script;
}

// One whole update of a kit of about 65 000 bytes against the emulated
// device answering at once, in real time: its wall time against the pacing
// floor, the sum of the sleeps the pacing asks for; and how often the run's
// thread was woken per record: once after each chunk's pause, and at most
// once more for the reply.
void wallRows(std::vector<Row>& rows, int core) {
    Cores cores(core);
    const size_t records = 2500;
    Bytes image = makeSampleImage(records, 22, 3);  // records of 26 bytes: two chunks
    RunCost cost = wholeRun(image, benchScript());
    double floor = cost.log.sleptMs / 1e3;
    rows.push_back({"whole update, " + std::to_string(image.size()) + "-byte kit: wall", format("%.3f s", cost.wall), ""});
    rows.push_back({"pacing floor (" + std::to_string(cost.log.sleeps) + " sleeps asked)", format("%.3f s", floor), ""});
    rows.push_back({"wall / floor", format("%.3f", cost.wall / floor), "<= 1.15"});
    rows.push_back({"run's thread wake-ups per record (2 chunks)",
                    format("%.2f", static_cast<double>(cost.wakeUps) / records), "<= 3"});
}

// CPU of whole updates against bare loops of 1 ms sleeps over the same
// time, for information. The machine's own cost of a wake-up drifts by a
// tenth or more from one second to the next, so short updates (250
// records, about half a second) alternate with loops of the same length,
// and the figures are ratios of the sums.
void cpuRows(std::vector<Row>& rows, int core, int rounds) {
    Cores cores(core);
    SimScript script = benchScript();
    Bytes image = makeSampleImage(250, 22, 7);
    double update = 0, bare = 0, wall = 0;
    for (int i = 0; i < rounds; ++i) {
        RunCost cost = wholeRun(image, script);
        update += cost.cpu;
        wall += cost.wall;
        bare += bareSleepLoopCpu(cost.wall);
    }
    std::string where = core < 0 ? ", any core" : ", one core";
    std::string of = " (" + std::to_string(rounds) + " updates of 250 records" + where + ")";
    rows.push_back({"CPU / wall, whole updates" + of, format("%.2f %%", 100 * update / wall), ""});
    rows.push_back({"CPU / wall, bare 1 ms sleep loops", format("%.2f %%", 100 * bare / wall), ""});
    rows.push_back({"CPU, whole updates / bare loops" + where, format("%.2f", update / bare), ""});
}

// What the sleeps alone cost on this machine: 2000 sleeps of 1 ms, plain
// and the pacing's own (to an absolute deadline).
void sleepRows(std::vector<Row>& rows) {
    const int n = 2000;
    double cpu0 = cpuSeconds();
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    double wall = secondsSince(start);
    double cpu = cpuSeconds() - cpu0;
    rows.push_back({"plain 1 ms sleep: wall per sleep", format("%.4f ms", wall / n * 1e3), ""});
    rows.push_back({"plain 1 ms sleeps: CPU / wall", format("%.2f %%", 100 * cpu / wall), ""});
    start = Clock::now();
    double shortest = 1;
    for (int i = 0; i < n; ++i) {
        auto one = Clock::now();
        sleepAtLeast(1);
        shortest = std::min(shortest, secondsSince(one));
    }
    wall = secondsSince(start);
    rows.push_back({"pacing 1 ms sleep: wall per sleep", format("%.4f ms", wall / n * 1e3), ""});
    rows.push_back({"pacing 1 ms sleep: shortest", format("%.4f ms", shortest * 1e3), ">= 1"});
}

long allocationsOfRun(size_t records) {
    WorkingFolder folder;
    runInProcess(STANDARD_PROFILE, makeSampleImage(records, 19, 8), SimScript(), [](const std::function<int()>& update) {
        allocations = 0;
        countingAllocations = true;
        update();
        countingAllocations = false;
    });
    return allocations.load();
}

void allocationRows(std::vector<Row>& rows) {
    allocationsOfRun(1);  // the first run sets up the standard streams
    long one = allocationsOfRun(1);
    long many = allocationsOfRun(2800);
    rows.push_back({"heap allocations, 1-record kit", std::to_string(one), ""});
    rows.push_back({"heap allocations, 2800-record kit", std::to_string(many), "the same"});
}

}  // namespace

int main() {
    std::vector<Row> rows;
    sleepRows(rows);
    kitRows(rows);
    allocationRows(rows);
    // On one core, as the target is measured, then on any core, for the
    // record.
    wallRows(rows, sched_getcpu());
    cpuRows(rows, sched_getcpu(), 40);
    cpuRows(rows, -1, 20);

    utsname machine;
    uname(&machine);
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("Machine: %s %s, %ld cores\n\n", machine.sysname, machine.machine, cores);
    size_t w = 0;
    for (const Row& r : rows) w = std::max(w, r.measure.size());
    std::printf("| %-*s | %-18s | %-8s |\n", static_cast<int>(w), "measure", "value", "target");
    std::printf("|%s|%s|%s|\n", std::string(w + 2, '-').c_str(), std::string(20, '-').c_str(),
                std::string(10, '-').c_str());
    for (const Row& r : rows)
        std::printf("| %-*s | %-18s | %-8s |\n", static_cast<int>(w), r.measure.c_str(), r.value.c_str(),
                    r.target.c_str());
    return 0;
}
