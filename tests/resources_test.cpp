// The Windows executables' version resource and application manifest, read
// back through Windows' own functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

std::string versionValue(const std::vector<char>& info, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) return "";
    return std::string(static_cast<const char*>(value));
}

std::string manifestOf(const std::string& exe) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return "";
    std::string text;
    if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        text.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The version is the project's; each executable names itself and says what
// it is for, differently from the other; the manifest runs it as the user
// who starts it, on Windows 7 to 11, in the system's ANSI code page.
TEST(WindowsResources, VersionAndManifestOfBothExecutables) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(UPDATE_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    std::string descriptions[2];
    const char* const paths[] = {UPDATE_STANDARD_EXE, UPDATE_GD32_EXE};
    for (int i = 0; i < 2; ++i) {
        std::string exe = nativePath(paths[i]);
        std::string name = exe.substr(exe.find_last_of("\\/") + 1);
        SCOPED_TRACE(name);
        DWORD size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
        ASSERT_GT(size, 0u);
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
        EXPECT_EQ(versionValue(info, "FileVersion"), UPDATE_VERSION);
        EXPECT_EQ(versionValue(info, "ProductVersion"), UPDATE_VERSION);
        EXPECT_EQ(versionValue(info, "OriginalFilename"), name);
        descriptions[i] = versionValue(info, "FileDescription");
        EXPECT_NE(descriptions[i], "");

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, patch));

        std::string manifest = manifestOf(exe);
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
        EXPECT_EQ(occurrences(manifest, "<supportedOS Id="), 4u) << manifest;  // 7, 8, 8.1, 10 and 11
        // The kit search keeps the system's ANSI code page.
        EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);
    }
    EXPECT_NE(descriptions[0], descriptions[1]);
}

}  // namespace
