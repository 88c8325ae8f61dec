// Drives the simulated WeChat client (WeChat.exe and its WechatBrowser.exe
// children) through its control files; see tests/fixtures/wechat/README.md.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "program_under_test.h"
#include "remote_window.h"

class SimulatedWeChat {
public:
    // Starts WeChat.exe with its browsers; the control files live in folder.
    bool Start(const std::wstring& folder, int browsers = 1) {
        base_ = folder + L"\\wechat-control";
        if (!client_.Start(BinFolder() + L"WeChat.exe",
                           L"--browsers " + std::to_wstring(browsers) + L" --control \"" + base_ + L"\""))
            return false;
        return remote::WaitFor([&] { return ReadFile(base_ + L".out").find("ready") != std::string::npos; }, 15000);
    }

    DWORD BrowserPid(int index = 0) const {
        std::istringstream lines(ReadFile(base_ + L".out"));
        std::string word;
        int number = -1;
        DWORD pid = 0;
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            if (fields >> word >> number >> pid && word == "browser" && number == index) return pid;
        }
        return 0;
    }

    // Appends one command for a browser and waits for its numbered answer;
    // answer (when given) receives what follows "ok " (an address, for most commands).
    bool Command(const std::string& line, int browser = 0, std::string* answer = nullptr) {
        const std::wstring control = base_ + L"." + std::to_wstring(browser);
        {
            std::ofstream file(std::filesystem::path(control), std::ios::app | std::ios::binary);
            file << line << "\n";
        }
        const int number = ++commands_[browser < 8 ? browser : 7];
        const std::string expected = "\n" + std::to_string(number) + " ok ";
        std::string out;
        if (!remote::WaitFor([&] {
                out = "\n" + ReadFile(control + L".out");
                const std::size_t at = out.find(expected);
                return at != std::string::npos && out.find('\n', at + expected.size()) != std::string::npos;
            }, 15000))
            return false;
        if (answer) {
            const std::size_t from = out.find(expected) + expected.size();
            *answer = out.substr(from, out.find_first_of("\r\n", from) - from);
        }
        return true;
    }

    HANDLE Process() const { return client_.Process(); }

private:
    static std::string ReadFile(const std::wstring& path) {
        std::ifstream file(std::filesystem::path(path), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    ProgramUnderTest client_;
    std::wstring base_;
    int commands_[8] = {};
};
