// The computer, where it runs Windows.
#include <windows.h>

#include <cstdio>

#include "core/platform.h"

namespace {

// The version as the kernel gives it; GetVersionEx would give the one the
// manifest admits.
struct Version {
    ULONG size, major, minor, build, platform;
    WCHAR servicePack[128];
};

bool kernelVersion(Version& version) {
    using Query = LONG(WINAPI*)(Version*);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return false;
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    version = Version();
    version.size = sizeof version;
    return query != nullptr && query(&version) == 0;
}

}  // namespace

void describeSystem(char* text, size_t room) {
    Version version;
    int n = kernelVersion(version)
                ? std::snprintf(text, room, "Windows %lu.%lu build %lu", version.major, version.minor, version.build)
                : std::snprintf(text, room, "Windows (version unknown)");
    if (n < 0 || static_cast<size_t>(n) >= room) return;
    DWORD legacy = 0, bytes = sizeof legacy;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", "UseLegacyMidi",
                     RRF_RT_REG_DWORD, nullptr, &legacy, &bytes) == ERROR_SUCCESS)
        std::snprintf(text + n, room - static_cast<size_t>(n), ", UseLegacyMidi = %lu", legacy);
}

void describeLocalTime(char* text, size_t room) {
    SYSTEMTIME local;
    GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone;
    DWORD which = GetTimeZoneInformation(&zone);
    long bias = zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : which == TIME_ZONE_ID_STANDARD ? zone.StandardBias : 0);
    long offset = -bias;  // minutes east of UTC
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    std::snprintf(text, room, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute, local.wSecond, sign, offset / 60, offset % 60);
}

void keepSystemAwake() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

void allowSystemSleep() { SetThreadExecutionState(ES_CONTINUOUS); }

void sleepAtLeast(uint32_t milliseconds) { Sleep(milliseconds); }
