// A copy of a program started in a folder of its own, ended with its children
// when the test is done (a job object kills whatever the test left running).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ProgramUnderTest {
public:
    ProgramUnderTest() : job_(CreateJobObjectW(nullptr, nullptr)) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    ~ProgramUnderTest() {
        if (process_) CloseHandle(process_);
        if (job_) CloseHandle(job_);  // ends everything still running in the job
    }
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // Starts the program with a command line; extraEnvironment holds NAME=VALUE
    // entries added to (or replacing) the test's own environment.
    bool Start(const std::wstring& program, const std::wstring& arguments = L"",
               const std::vector<std::wstring>& extraEnvironment = {}) {
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        std::wstring environment = EnvironmentWith(extraEnvironment);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                            CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(), &startup,
                            &info))
            return false;
        AssignProcessToJobObject(job_, info.hProcess);
        ResumeThread(info.hThread);
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        pid_ = info.dwProcessId;
        return true;
    }

    DWORD Pid() const { return pid_; }
    HANDLE Process() const { return process_; }

    // The exit code once the program has ended within the time, else STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    static std::wstring EnvironmentWith(const std::vector<std::wstring>& extra) {
        std::vector<std::wstring> entries;
        if (wchar_t* block = GetEnvironmentStringsW()) {
            for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) entries.emplace_back(entry);
            FreeEnvironmentStringsW(block);
        }
        for (const std::wstring& add : extra) {
            const std::wstring name = add.substr(0, add.find(L'=') + 1);
            for (auto it = entries.begin(); it != entries.end();)
                it = _wcsnicmp(it->c_str(), name.c_str(), name.size()) == 0 ? entries.erase(it) : it + 1;
            entries.push_back(add);
        }
        std::wstring block;
        for (const std::wstring& entry : entries) block += entry + L'\0';
        block += L'\0';
        return block;
    }

    HANDLE job_ = nullptr;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// The folder of the running test executable (bin/), with a trailing backslash.
inline std::wstring BinFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}
