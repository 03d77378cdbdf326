#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "tests/test_support.h"

namespace {

void removeTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::string readAll(HANDLE pipe, std::vector<std::string>* reads = nullptr) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
        if (reads != nullptr) reads->emplace_back(buffer, got);
    }
    return text;
}

}  // namespace

TempFolder::TempFolder() {
    static unsigned counter = 0;
    char base[MAX_PATH + 1];
    GetTempPathA(sizeof base, base);
    for (;;) {
        path = std::string(base) + "update-test-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter);
        if (CreateDirectoryA(path.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) std::abort();
    }
}

TempFolder::~TempFolder() { removeTree(path); }

WorkingFolder::WorkingFolder() {
    char cwd[MAX_PATH];
    if (GetCurrentDirectoryA(sizeof cwd, cwd) == 0 || !SetCurrentDirectoryA(path.c_str())) std::abort();
    previous = cwd;
}

WorkingFolder::~WorkingFolder() {
    if (!SetCurrentDirectoryA(previous.c_str())) std::abort();
}

void makeFolder(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

std::string nativePath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string windows = "Z:" + path;  // Wine's drive for the Unix root
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

void setEnvironment(const std::string& name, const std::string& value) {
    SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
}

ProgramRun runProgram(const std::string& program, const std::string& folder, const std::vector<std::string>&) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) std::abort();
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;  // standard input closed
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process = {};
    std::string exe = nativePath(program);
    std::string commandLine = "\"" + exe + "\"";
    ProgramRun run;
    // Under Wine a start now and then fails for a moment after the
    // executable was copied (seen once in some hundred starts): try again
    // a few times before the run counts as not started.
    bool started = false;
    DWORD why = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
        if (attempt > 0) Sleep(200);
        started = CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                 &startup, &process);
        if (!started) why = GetLastError();
    }
    if (!started) {
        CloseHandle(outWrite);
        CloseHandle(errWrite);
        CloseHandle(outRead);
        CloseHandle(errRead);
        run.err = "could not start " + exe + " (error " + std::to_string(why) + ")";
        return run;
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    std::thread errors([&] { run.err = readAll(errRead); });
    std::string raw = readAll(outRead, &run.outReads);
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(outRead);
    CloseHandle(errRead);

    // Undo exactly what text mode did: every "\n" went out as "\r\n".
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        run.out += raw[i];
    }
    return run;
}
