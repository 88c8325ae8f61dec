// Starts the simulated WeChat client and browser (tests/fixtures/wechat) from
// bin/ and talks to them through their control files. Every process is put in
// a job object that ends them all when the test's FixtureProcesses goes away.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct Started {
    DWORD pid = 0;
    std::wstring control;  // control base (client) or file (browser)
};

class FixtureProcesses {
public:
    FixtureProcesses();
    ~FixtureProcesses();
    FixtureProcesses(const FixtureProcesses&) = delete;
    FixtureProcesses& operator=(const FixtureProcesses&) = delete;

    // WeChat.exe (or `clientExe`) with its browsers; waits until all report ready.
    Started StartWeChat(int browsers, const std::wstring& clientExe = L"", const std::wstring& browserExe = L"");
    // A WechatBrowser.exe started by the test itself, so its parent is the test.
    Started StartBrowser();
    // Browser i of a client started by StartWeChat.
    DWORD BrowserPid(const Started& client, int index) const;
    std::wstring BrowserControl(const Started& client, int index) const;

    // Sends one command to a browser and returns the address it answered (0 on
    // an error answer or when no answer came within 30 s).
    std::uintptr_t Command(const std::wstring& browserControl, const std::string& line);
    // Ends the process and waits until it has gone.
    void End(DWORD pid);

    const std::wstring& Folder() const { return folder; }
    static std::wstring BinFolder();

private:
    HANDLE Launch(const std::wstring& exe, const std::wstring& arguments);

    HANDLE job = nullptr;
    std::wstring folder;
    int nextName = 0;
    std::map<DWORD, HANDLE> processes;
    std::map<std::wstring, int> commandCounts;
};

// Reads a whole file as bytes ("" when it cannot be opened).
std::string ReadWholeFile(const std::wstring& path);
