// Runs the built executables in fresh folders with standard input closed
// and compares everything they print.
#include <gtest/gtest.h>

#include <string>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tools/kit_writer.h"
#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace {

struct Build {
    const char* program;
    const char* banner;
};

const Build BUILDS[] = {
    {UPDATE_STANDARD_EXE, "VORNACEL Update V0.1 -> Calvenor Pro System\n"},
    {UPDATE_GD32_EXE, "VORNACEL Update GD32 V0.1 -> Calvenor Pro System\n"},
};

const std::string PAUSE = EXECUTABLE_PAUSE_TEXT;
const std::string GOOD_KIT = "00 04 AA BB 9B FE\n";

enum class Entry { KitFile, Folder, Fifo };
struct FolderEntry {
    std::string name;
    Entry entry;
    std::string text;
};

struct KitCase {
    const char* name;
    std::vector<FolderEntry> setup;
    std::string expected;  // after the banner, before the pause
    long readFailAfter = -1;  // reads of the kit fail past this many bytes
    long records = -1;        // the records the account counts in the kit; -1: unchecked
};

// Runs `program` with the kit's reads failing past `readFailAfter` bytes
// (-1: none), through the failing disk preloaded into it. Under Wine the
// test's own environment brings it (see CMakeLists.txt).
ProgramRun runWithDisk(const std::string& program, const std::string& folder, long readFailAfter) {
    if (readFailAfter < 0) return runProgram(program, folder);
    EXPECT_TRUE(writeTextFile(folder + "/read-fail-after", std::to_string(readFailAfter)));
#ifndef _WIN32
    setEnvironment("LD_PRELOAD", READ_FAIL_SHIM);
    setEnvironment("ASAN_OPTIONS", "verify_asan_link_order=0");
#endif
    ProgramRun run = runProgram(program, folder);
#ifndef _WIN32
    setEnvironment("LD_PRELOAD", "");
    setEnvironment("ASAN_OPTIONS", "");
#endif
    return run;
}

// 24 records of 36 bytes; as text, each byte takes 3 characters.
const Bytes RECORDS_24 = makeSampleImage(24, 32, 9);
constexpr long TEXT_OF_10_RECORDS = 10 * 36 * 3;

// Nine records of 2 000 bytes, as text, and the kit-reading hazards owners'
// editors and shells bring: a byte order mark, UTF-16, a non-breaking space
// in front of the sixth record.
const Bytes NINE_RECORDS = makeSampleImage(9, 1996, 5);
const std::string NINE_TEXT = kitText(NINE_RECORDS);

std::string utf16Text(const std::string& ascii, bool bigEndian) {
    std::string text = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) text += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return text;
}

std::string nbspBeforeSixth() {
    size_t sixth = 5 * 2000 * 3;  // three characters a value
    return NINE_TEXT.substr(0, sixth) + "\xC2\xA0" + NINE_TEXT.substr(sixth);
}

// Valid records of 65535 bytes in all: as many values as a kit can have.
Bytes fullImage() {
    Bytes image = makeSampleImage(2849, 19, 5);
    Bytes last = makeKitRecord({1, 2, 3, 4});
    image.insert(image.end(), last.begin(), last.end());
    return image;
}

std::string longName() { return "Calvenor_Pro_" + std::string(110, 'x') + ".kit"; }

// What the run prints after a good kit: the build machine has no MIDI
// ports (no sequencer; Wine's WinMM shows no inputs).
std::string afterGoodKit() { return sayText(Say::NoDevice); }

std::vector<KitCase> kitCases() {
    return {
        {"no kit file", {}, sayText(Say::KitNotFound, "*.kit")},
        {"only Other.kit", {{"Other.kit", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitPrefixWrong)},
        {"a badly named kit listed before a good one",
         {{"Calvenor_Pro.kit", Entry::KitFile, GOOD_KIT}, {"_Calvenor_Pro.kit", Entry::KitFile, GOOD_KIT},
          {"Abc.kit", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitPrefixWrong)},
        {"a good kit listed before Other.kit",
         {{"Other.kit", Entry::KitFile, "zz"}, {"calvenor_pro_v2.kit", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitOpen, "calvenor_pro_v2.kit") + afterGoodKit()},
        {"upper-case name accepted", {{"CALVENOR_PRO_x.kit", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitOpen, "CALVENOR_PRO_x.kit") + afterGoodKit()},
        {"upper-case extension", {{"Calvenor_Pro_v2.KIT", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitOpen, "Calvenor_Pro_v2.KIT") + afterGoodKit()},
        {"name over 100 characters", {{longName(), Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitOpen, longName().c_str()) + afterGoodKit()},
        {"bad checksum", {{"Calvenor_Pro.kit", Entry::KitFile, "00 04 AA BB 9B FD\n"}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError)},
        // No record: nothing to update the device with.
        {"empty kit", {{"Calvenor_Pro.kit", Entry::KitFile, ""}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError)},
        {"white space only", {{"Calvenor_Pro.kit", Entry::KitFile, " \r\n\t\r\n"}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError)},
        {"a colon, then the kit", {{"Calvenor_Pro.kit", Entry::KitFile, ":" + GOOD_KIT}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError)},
        // The values stop in front of the sixth record: the image was cut short.
        {"a non-breaking space before record 6 of 9", {{"Calvenor_Pro.kit", Entry::KitFile, nbspBeforeSixth()}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError)},
        {"after a UTF-8 byte order mark", {{"Calvenor_Pro.kit", Entry::KitFile, "\xEF\xBB\xBF" + NINE_TEXT}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit(), -1, 9},
        {"UTF-16, little-endian", {{"Calvenor_Pro.kit", Entry::KitFile, utf16Text(NINE_TEXT, false)}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit(), -1, 9},
        {"UTF-16, big-endian", {{"Calvenor_Pro.kit", Entry::KitFile, utf16Text(NINE_TEXT, true)}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit(), -1, 9},
        {"a trailer of text", {{"Calvenor_Pro.kit", Entry::KitFile, NINE_TEXT + "; end of the kit\r\n"}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit(), -1, 9},
        {"a DOS end-of-file mark", {{"Calvenor_Pro.kit", Entry::KitFile, NINE_TEXT + "\x1A"}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit(), -1, 9},
        {"a folder named like the kit", {{"Calvenor_Pro.kit", Entry::Folder, ""}},
         sayText(Say::KitNotFound, "Calvenor_Pro.kit")},
#ifndef _WIN32
        // Nobody writes to it: opening it for reading would wait forever.
        {"a named pipe named like the kit", {{"Calvenor_Pro.kit", Entry::Fifo, ""}},
         sayText(Say::KitNotFound, "Calvenor_Pro.kit")},
#endif
        {"as many values as the count holds", {{"Calvenor_Pro.kit", Entry::KitFile, kitText(fullImage())}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit()},
        // One value more: the count would wrap and the cut image would pass.
        {"more values than the count holds", {{"Calvenor_Pro.kit", Entry::KitFile, kitText(fullImage()) + "00\n"}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError)},
        // The records read so far are valid: only the read's failure tells.
        {"a read error after the 10th of 24 records", {{"Calvenor_Pro.kit", Entry::KitFile, kitText(RECORDS_24)}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError), TEXT_OF_10_RECORDS},
        {"a read error at the first byte", {{"Calvenor_Pro.kit", Entry::KitFile, kitText(RECORDS_24)}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError), 0},
        {"the same kit read whole", {{"Calvenor_Pro.kit", Entry::KitFile, kitText(RECORDS_24)}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit(), 1000000},
        // The run's account cannot be written: nothing changes.
        {"a folder in the log's place", {{"update-log.txt", Entry::Folder, ""}, {"Calvenor_Pro.kit", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit()},
#ifndef _WIN32
        // Nobody reads it: opening it for writing would wait forever.
        {"a named pipe in the log's place", {{"update-log.txt", Entry::Fifo, ""}, {"Calvenor_Pro.kit", Entry::KitFile, GOOD_KIT}},
         sayText(Say::KitOpen, "Calvenor_Pro.kit") + afterGoodKit()},
#endif
    };
}

TEST(BlackBox, KitPhaseOfBothBuilds) {
    for (const Build& build : BUILDS) {
        for (const KitCase& c : kitCases()) {
            TempFolder folder;
            for (const FolderEntry& s : c.setup) {
                if (s.entry == Entry::Folder)
                    makeFolder(folder.file(s.name));
#ifndef _WIN32
                else if (s.entry == Entry::Fifo)
                    makeFifo(folder.file(s.name));
#endif
                else
                    ASSERT_TRUE(writeTextFile(folder.file(s.name), s.text));
            }
            ProgramRun run = runWithDisk(build.program, folder.path, c.readFailAfter);
            EXPECT_EQ(run.out, build.banner + c.expected + PAUSE) << build.program << ": " << c.name;
            EXPECT_EQ(run.err, "") << build.program << ": " << c.name;
            EXPECT_EQ(run.exitCode, 0) << build.program << ": " << c.name;
            // The run's account beside the kit, with what the console showed.
            bool logPlace = c.setup.empty() || c.setup[0].name != "update-log.txt";
            if (logPlace) {
                const Messages nothingSent;
                std::string account = readFile(folder.file("update-log.txt"));
                EXPECT_EQ(checkAccount(account, build.banner + c.expected, {}, &nothingSent), "")
                    << build.program << ": " << c.name;
                if (c.records >= 0) {
                    EXPECT_NE(account.find(", " + std::to_string(c.records) + " records, SHA-256 " +
                                           sha256Hex(c.setup.back().text)),
                              std::string::npos)
                        << build.program << ": " << c.name << "\n" << account;
                }
            }
        }
    }
}

// Against the emulated device, which would take the ten records read and
// report success: the run stops before any port.
TEST(BlackBox, AKitThatFailsToReadTouchesNoPort) {
    TempFolder folder;
    ASSERT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), kitText(RECORDS_24)));
    ProgramRun run = runWithDisk(UPDATE_DEMO_EXE, folder.path, TEXT_OF_10_RECORDS);
    EXPECT_EQ(run.out, std::string(BUILDS[0].banner) +
                           sayText(Say::KitOpen, "Calvenor_Pro.kit") + sayText(Say::KitError) + PAUSE);
    EXPECT_EQ(run.exitCode, 0);
}

// Kits an editor saved with a byte order mark or as UTF-16 update the
// device whole, every record acknowledged.
TEST(BlackBox, KitsInOtherEncodingsUpdateWhole) {
    for (const std::string& text : {"\xEF\xBB\xBF" + NINE_TEXT, utf16Text(NINE_TEXT, false), utf16Text(NINE_TEXT, true)}) {
        TempFolder folder;
        ASSERT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), text));
        ProgramRun run = runProgram(UPDATE_DEMO_EXE, folder.path);
        EXPECT_TRUE(endsWith(run.out, sayText(Say::Updated) + "\n" + PAUSE)) << run.out;
        std::string account = readFile(folder.file("update-log.txt"));
        EXPECT_NE(account.find("outcome: every record acknowledged (9)"), std::string::npos) << account;
    }
}

#ifndef _WIN32
// The account tells the kit as this run read it, also when the file is
// replaced the moment the run has read it (the failing disk's shim swaps
// it in as the kit is closed).
TEST(BlackBox, TheAccountTellsTheKitAsRead) {
    TempFolder folder;
    const std::string kit = kitText(RECORDS_24);
    const std::string other = kitText(makeSampleImage(3, 10, 2));
    ASSERT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), kit));
    ASSERT_TRUE(writeTextFile(folder.file("replace-kit-with"), other));
    setEnvironment("LD_PRELOAD", READ_FAIL_SHIM);
    setEnvironment("ASAN_OPTIONS", "verify_asan_link_order=0");
    ProgramRun run = runProgram(UPDATE_DEMO_EXE, folder.path);
    setEnvironment("LD_PRELOAD", "");
    setEnvironment("ASAN_OPTIONS", "");
    ASSERT_EQ(readFile(folder.file("Calvenor_Pro.kit")), other) << "the kit was not replaced";
    std::string account = readFile(folder.file("update-log.txt"));
    EXPECT_NE(account.find("] kit: Calvenor_Pro.kit, " + std::to_string(kit.size()) + " bytes, 864 values, 24 records, SHA-256 " +
                           sha256Hex(kit) + "\n"),
              std::string::npos)
        << account;
    EXPECT_NE(account.find("outcome: every record acknowledged (24)"), std::string::npos) << account;
}
#endif

#ifndef _WIN32
// Runs `program` in `folder` and kills it (as a crash or a pulled cable
// would end it) as soon as its output holds `text`; its output until then.
std::string runUntil(const std::string& program, const std::string& folder, const std::string& text) {
    int out[2];
    if (pipe(out) != 0) return "";
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        close(0);
        if (chdir(folder.c_str()) != 0) _exit(127);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string seen;
    char buffer[4096];
    for (ssize_t n; seen.find(text) == std::string::npos && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        seen.append(buffer, static_cast<size_t>(n));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(out[0]);
    return seen;
}

// The account is on disk up to each acknowledged record: a run ended by a
// crash once record 5's progress line shows has written record 4's
// acknowledgement (the line is drawn after the account's flush).
TEST(BlackBox, TheAccountHoldsEachAcknowledgedRecordAtOnce) {
    TempFolder folder;
    ASSERT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), kitText(makeSampleImage(10, 30, 1))));
    std::string seen = runUntil(UPDATE_DEMO_EXE, folder.path, "40% done");
    ASSERT_NE(seen.find("40% done"), std::string::npos) << seen;
    std::string account = readFile(folder.file("update-log.txt"));
    EXPECT_NE(account.find("] record 4 acknowledged\n"), std::string::npos) << account;
}
#endif

// The progress line has no line end: it must be flushed as it is drawn, or
// a pipe or file would show it only when the run ends.
TEST(BlackBox, TheProgressLineReachesAPipeAsItIsDrawn) {
    TempFolder folder;
    ASSERT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), kitText(makeSampleImage(10, 30, 1))));
    ProgramRun run = runProgram(UPDATE_DEMO_EXE, folder.path);
    auto readWith = [&run](const std::string& text) {
        for (size_t i = 0; i < run.outReads.size(); ++i)
            if (run.outReads[i].find(text) != std::string::npos) return i;
        return run.outReads.size();
    };
    // The account holds the whole console text but the pause's.
    std::string shown = run.out.substr(0, run.out.rfind(PAUSE));
    std::string account = readFile(folder.file("update-log.txt"));
    EXPECT_NE(account.find("outcome: every record acknowledged (10)"), std::string::npos) << account;
    EXPECT_EQ(checkAccount(account, shown, {}, nullptr), "");
    // The reads are the pipe's own bytes, where a line on Windows ends in
    // CR LF: the success text is looked for without its line end.
    std::string updated = sayText(Say::Updated);
    updated.pop_back();
    size_t firstLine = readWith(sayText(Say::Progress, '-', 0));
    size_t end = readWith(updated);
    ASSERT_LT(end, run.outReads.size()) << run.out;
    EXPECT_LT(firstLine, end) << "the first progress line came only with the end of the run";
    EXPECT_EQ(run.exitCode, 0);
}

}  // namespace
