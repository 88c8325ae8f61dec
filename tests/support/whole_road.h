// The whole road of a video, set up as a user would meet it: a copy of the real
// Quillmere.exe in a program folder of its own, the local HTTPS CDN, the
// simulated WeChat, and the program's window read from outside. Shared by the
// end-to-end tests and the long run. The includer defines QUILLMERE_VIDEO_HOST
// and QUILLMERE_LIVE_HOST (the hosts the program was built with) and links
// ws2_32, psapi and shell32.
#pragma once

#include "cdn_fixture.h"  // winsock2.h before windows.h

#include <windows.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "program_under_test.h"
#include "remote_window.h"
#include "simulated_wechat.h"

namespace road {

inline std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

inline int VideoPort() {
    const std::string host = QUILLMERE_VIDEO_HOST;
    return std::stoi(host.substr(host.rfind(':') + 1));
}

// A Channels video link in the form the program searches for; the CDN serves
// the file named by its key.
inline std::string VideoLink(const std::string& key, const std::string& token = "e2e") {
    return std::string("https://") + QUILLMERE_VIDEO_HOST + "/251/20302/stodownload?encfilekey=" + key +
           "&token=" + token + "&taskid=0";
}

// A live-stream link as the program lists it; the browser holds it followed by "&combuf=...".
inline std::string LiveLink(const std::string& name, const std::string& token = "1") {
    return std::string("https://") + QUILLMERE_LIVE_HOST + "/live/" + name + ".flv?token=" + token;
}

inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// The ids of the processes running a program of that name; false when no
// snapshot could be taken.
inline bool ProcessIds(const wchar_t* name, std::vector<DWORD>& ids) {
    ids.clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, name) == 0) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return true;
}

// How many processes run a program of that name, or -1 when unknown.
inline int CountProcesses(const wchar_t* name) {
    std::vector<DWORD> ids;
    return ProcessIds(name, ids) ? static_cast<int>(ids.size()) : -1;
}

// Whether the window still answers messages (within 5 s).
inline bool Responds(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

// The row whose link carries the key, or -1.
inline int RowOf(HWND table, const std::string& key) {
    const std::wstring marker = Widen("encfilekey=" + key + "&");
    for (int row = 0; row < remote::RowCount(table); ++row)
        if (remote::CellText(table, row, 2).find(marker) != std::wstring::npos) return row;
    return -1;
}

// A downloaded file's name: "<ID>_" followed by five lower-case letters and ".mp4".
inline bool IsFileOfRow(const std::wstring& name, int row) {
    const std::wstring prefix = std::to_wstring(row) + L"_";
    if (name.size() != prefix.size() + 9 || name.rfind(prefix, 0) != 0 || name.substr(prefix.size() + 5) != L".mp4")
        return false;
    for (std::size_t i = prefix.size(); i < prefix.size() + 5; ++i)
        if (name[i] < L'a' || name[i] > L'z') return false;
    return true;
}

// The downloaded files of a row.
inline std::vector<std::filesystem::path> FilesOfRow(const std::filesystem::path& videoFolder, int row) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(videoFolder, error))
        if (IsFileOfRow(entry.path().filename().wstring(), row)) files.push_back(entry.path());
    return files;
}

// Every file in the video folder whose name ends in ".mp4".
inline std::vector<std::filesystem::path> FinalFiles(const std::filesystem::path& videoFolder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(videoFolder, error))
        if (entry.path().extension() == L".mp4") files.push_back(entry.path());
    return files;
}

// The CDN, the simulated WeChat (its control files in workFolder) and
// Quillmere started from a copy in programFolder. The engine runs with a short
// stall time-out so that broken downloads fail in seconds, not half a minute.
class Road {
public:
    bool Start(const std::wstring& workFolder, const std::wstring& programFolder,
               std::vector<std::wstring> environment = {}, int cdnSeconds = 600) {
        programFolder_ = programFolder;
        CreateDirectoryW(programFolder.c_str(), nullptr);
        if (!CopyFileW((BinFolder() + L"Quillmere.exe").c_str(), (programFolder + L"\\Quillmere.exe").c_str(), FALSE))
            return false;
        CdnOptions options;
        options.port = VideoPort();
        options.controlPort = options.port + 7;
        options.idleSeconds = cdnSeconds;
        options.maxSeconds = cdnSeconds;
        cdn_ = std::make_unique<CdnServer>(options);
        if (!cdn_->Ready() || !wechat_.Start(workFolder)) return false;
        environment.push_back(L"QUILLMERE_ENGINE_TIMEOUT_MS=3000");
        if (!program_.Start(programFolder + L"\\Quillmere.exe", L"", environment)) return false;
        if (!remote::WaitFor([&] {
                return (window_ = remote::FindProcessWindow(program_.Pid(), L"QuillmereMainWindow", nullptr)) != nullptr;
            }, 30000))
            return false;
        table_ = remote::ChildOfClass(window_, L"SysListView32");
        statusLine_ = remote::ChildOfClass(window_, L"Static");
        return table_ && statusLine_;
    }

    // Closes the window as a user would; true when the program ended with 0.
    bool Close() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return program_.WaitForExit(30000) == 0;
    }

    CdnServer& Cdn() { return *cdn_; }
    SimulatedWeChat& WeChat() { return wechat_; }
    ProgramUnderTest& Program() { return program_; }
    HWND Window() const { return window_; }
    HWND Table() const { return table_; }
    std::wstring StatusLine() const { return remote::WindowText(statusLine_); }
    std::filesystem::path VideoFolder() const { return std::filesystem::path(programFolder_) / L"video"; }
    std::wstring Status(int row) const { return remote::CellText(table_, row, 3); }

private:
    std::wstring programFolder_;
    std::unique_ptr<CdnServer> cdn_;
    SimulatedWeChat wechat_;
    ProgramUnderTest program_;
    HWND window_ = nullptr;
    HWND table_ = nullptr;
    HWND statusLine_ = nullptr;
};

}  // namespace road
