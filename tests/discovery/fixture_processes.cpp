#include "fixture_processes.h"

#include <shellapi.h>

#include <sstream>

namespace {

constexpr DWORD kAnswerWaitMs = 30000;

// Polls until the predicate holds or the time is up.
template <typename Predicate>
bool WaitUntil(Predicate holds, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (holds()) return true;
        if (GetTickCount64() > deadline) return false;
        Sleep(10);
    }
}

bool HasLine(const std::string& text, const std::string& start) {
    return ("\n" + text).find("\n" + start) != std::string::npos;
}

}  // namespace

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
    CloseHandle(file);
    return text;
}

std::wstring FixtureProcesses::BinFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

FixtureProcesses::FixtureProcesses() : job(CreateJobObjectW(nullptr, nullptr)) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    folder = std::wstring(temp) + L"quillmere-discovery-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount64());
    CreateDirectoryW(folder.c_str(), nullptr);
}

FixtureProcesses::~FixtureProcesses() {
    if (job) TerminateJobObject(job, 0);
    for (const auto& entry : processes) {
        WaitForSingleObject(entry.second, 5000);
        CloseHandle(entry.second);
    }
    // The browsers that a client started are in the job too: the next test must
    // not see them in its process list.
    WaitUntil(
        [&] {
            JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
            return !QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                              nullptr) ||
                   accounting.ActiveProcesses == 0;
        },
        5000);
    if (job) CloseHandle(job);
    std::wstring from = folder;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW remove{};
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.c_str();
    remove.fFlags = FOF_NO_UI;
    SHFileOperationW(&remove);
}

HANDLE FixtureProcesses::Launch(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Suspended until it is in the job, so that its own children join it too.
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &started)) {
        return nullptr;
    }
    AssignProcessToJobObject(job, started.hProcess);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    processes[started.dwProcessId] = started.hProcess;
    return started.hProcess;
}

Started FixtureProcesses::StartWeChat(int browsers, const std::wstring& clientExe, const std::wstring& browserExe) {
    Started client;
    client.control = folder + L"\\client" + std::to_wstring(nextName++);
    std::wstring arguments = L"--browsers " + std::to_wstring(browsers) + L" --control \"" + client.control + L"\"";
    if (!browserExe.empty()) arguments += L" --browser-exe \"" + browserExe + L"\"";
    if (!Launch(clientExe.empty() ? BinFolder() + L"WeChat.exe" : clientExe, arguments)) return {};
    const bool ready = WaitUntil(
        [&] {
            if (!HasLine(ReadWholeFile(client.control + L".out"), "ready")) return false;
            for (int i = 0; i < browsers; ++i) {
                if (!HasLine(ReadWholeFile(BrowserControl(client, i) + L".out"), "ready")) return false;
            }
            return true;
        },
        kAnswerWaitMs);
    if (!ready) return {};
    std::istringstream lines(ReadWholeFile(client.control + L".out"));
    std::string word;
    lines >> word >> client.pid;
    return client;
}

Started FixtureProcesses::StartBrowser() {
    Started browser;
    browser.control = folder + L"\\browser" + std::to_wstring(nextName++);
    if (!Launch(BinFolder() + L"WechatBrowser.exe", L"--control \"" + browser.control + L"\"")) return {};
    if (!WaitUntil([&] { return HasLine(ReadWholeFile(browser.control + L".out"), "ready"); }, kAnswerWaitMs)) return {};
    std::istringstream lines(ReadWholeFile(browser.control + L".out"));
    std::string word;
    lines >> word >> browser.pid;
    return browser;
}

std::wstring FixtureProcesses::BrowserControl(const Started& client, int index) const {
    return client.control + L"." + std::to_wstring(index);
}

DWORD FixtureProcesses::BrowserPid(const Started& client, int index) const {
    std::istringstream lines(ReadWholeFile(BrowserControl(client, index) + L".out"));
    std::string word;
    DWORD pid = 0;
    lines >> word >> pid;
    return word == "ready" ? pid : 0;
}

std::uintptr_t FixtureProcesses::Command(const std::wstring& browserControl, const std::string& line) {
    HANDLE file = CreateFileW(browserControl.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);

    const std::string number = std::to_string(++commandCounts[browserControl]) + " ";
    std::string answer;
    WaitUntil(
        [&] {
            const std::string out = "\n" + ReadWholeFile(browserControl + L".out");
            const std::size_t at = out.find("\n" + number);
            if (at == std::string::npos) return false;
            const std::size_t end = out.find('\n', at + 1);
            if (end == std::string::npos) return false;
            answer = out.substr(at + 1 + number.size(), end - at - 1 - number.size());
            return true;
        },
        kAnswerWaitMs);
    if (answer.rfind("ok 0x", 0) != 0) return 0;
    return static_cast<std::uintptr_t>(std::stoull(answer.substr(3), nullptr, 16));
}

void FixtureProcesses::End(DWORD pid) {
    const auto found = processes.find(pid);
    HANDLE process = found != processes.end() ? found->second : OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process) return;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
    if (found == processes.end()) CloseHandle(process);
}
