// The Windows executables' version resource and application manifest, read
// back through Windows' own functions.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

std::string nativePath(const std::string& path);

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

struct Executable {
    const char* path;
    const char* name;
    const char* description;
};

TEST(WindowsResources, VersionAndManifestOfBothExecutables) {
    const Executable all[] = {
        {UPDATE_STANDARD_EXE, "update", "Calvenor Pro firmware update, standard units"},
        {UPDATE_GD32_EXE, "update-gd32", "Calvenor Pro firmware update, GD32 units"},
    };
    for (const Executable& e : all) {
        SCOPED_TRACE(e.name);
        std::string exe = nativePath(e.path);
        DWORD size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
        ASSERT_GT(size, 0u);
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
        EXPECT_EQ(versionValue(info, "FileVersion"), UPDATE_VERSION);
        EXPECT_EQ(versionValue(info, "ProductVersion"), UPDATE_VERSION);
        EXPECT_EQ(versionValue(info, "ProductName"), "VORNACEL Update for Calvenor Pro");
        EXPECT_EQ(versionValue(info, "FileDescription"), e.description);
        EXPECT_EQ(versionValue(info, "OriginalFilename"), std::string(e.name) + ".exe");

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(UPDATE_VERSION_MINOR, UPDATE_VERSION_MAJOR));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, UPDATE_VERSION_PATCH));

        std::string manifest = manifestOf(exe);
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
        for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                               "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
            EXPECT_NE(manifest.find(os), std::string::npos) << os;
        // The kit search keeps the system's ANSI code page.
        EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);
    }
}

}  // namespace
