// The Windows executables, run as they are (under Wine on the build
// machine) against the WinMM test double and its emulated device, through
// the same scenarios as the runs against the emulated device in-process.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/sim_script.h"
#include "tests/scenarios.h"
#include "tests/test_support.h"

namespace {

// What the command interpreter's "pause" prints when it finds no key to
// read (standard input is closed).
const std::string PAUSE = EXECUTABLE_PAUSE_TEXT;

// Every scenario runs on both of Windows' WinMM paths: the classic stack
// and the MIDI service (the double's two modes), but for those that belong
// to one of them.
TEST(WindowsExecutables, ScenariosAgainstTheWinmmDouble) {
    for (bool servicePath : {false, true}) {
        int run = 0;
        for (Scenario s : scenarios()) {
            if (s.hostClockOnly) continue;
            if (s.winmmPath == (servicePath ? Scenario::ClassicPath : Scenario::ServicePath)) continue;
            SCOPED_TRACE((servicePath ? "service path: " : "classic path: ") + s.name);
            ++run;
            s.script.winmm.servicePath = servicePath;
            bool gd32 = s.profile == &GD32_PROFILE;
            TempFolder folder;
            std::string exe = folder.file(gd32 ? "update-gd32.exe" : "update.exe");
            ASSERT_TRUE(
                CopyFileA(nativePath(gd32 ? UPDATE_GD32_EXE : UPDATE_STANDARD_EXE).c_str(), exe.c_str(), FALSE));
            ASSERT_TRUE(CopyFileA(nativePath(WINMM_DOUBLE_DLL).c_str(), folder.file("winmm.dll").c_str(), FALSE));
            ASSERT_TRUE(writeTextFile(folder.file("Calvenor_Pro.kit"), kitText(s.kit)));
            ASSERT_TRUE(writeTextFile(folder.file("winmm-double.script"), simScriptText(s.script)));

            ProgramRun result = runProgram(exe, folder.path);

            EXPECT_EQ(result.out, s.profile->banner + std::string(sayText(Say::KitOpen, "Calvenor_Pro.kit")) +
                                      s.transcript + PAUSE);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.exitCode, 0);
            SimLog log;
            ASSERT_TRUE(parseSimLog(readFile(folder.file("winmm-double.log")), log));
            EXPECT_EQ(log.sent, s.wire);
            EXPECT_EQ(portEvents(log), s.events);
            EXPECT_EQ(log.deviceErrors, s.deviceErrors);
            EXPECT_EQ(checkAccount(readFile(folder.file("update-log.txt")),
                                   s.profile->banner + std::string(sayText(Say::KitOpen, "Calvenor_Pro.kit")) +
                                       s.transcript,
                                   s.kit, &log.sent),
                      "");
        }
        EXPECT_GT(run, 30);
    }
}

}  // namespace
