#include "discovery/wechat_process.h"

#include <tlhelp32.h>

#include <cstdlib>

#include "app/globals.h"
#include "app/main_window.h"
#include "app/status_line.h"
#include "app/wide_paths.h"
#include "discovery/process_name.h"
#include "discovery/unique_handle.h"

namespace {

// Calls visit(entry) for every entry of a new snapshot until it returns false.
template <typename Visit>
void WalkSnapshot(DWORD flags, Visit visit) {
    SnapshotHandle snapshot(CreateToolhelp32Snapshot(flags, 0));
    if (!snapshot.Valid()) return;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
        if (!visit(entry)) return;
    }
}

std::wstring Wide(const std::string& gbk) {
    const std::vector<std::uint8_t> bytes = GbkToUtf16(gbk);
    if (bytes.empty()) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()));
}

// Shows the retry question; true when the user chose OK.
bool UserRetries() {
    const std::wstring text = Wide("未检测到微信进程，请登录微信PC端并打开视频号窗口，按【确定】键重试！");
    const std::wstring caption = Wide("信息：");
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_TASKMODAL) == IDOK;
}

}  // namespace

std::vector<DWORD> FindProcessIds(const std::string& name, bool caseSensitive) {
    std::vector<DWORD> ids;
    WalkSnapshot(TH32CS_SNAPALL, [&](const PROCESSENTRY32& entry) {
        if (NamesEqual(entry.szExeFile, name, caseSensitive)) ids.push_back(entry.th32ProcessID);
        return true;
    });
    return ids;
}

DWORD ParentProcessId(DWORD id) {
    DWORD parent = 0;
    WalkSnapshot(TH32CS_SNAPALL, [&](const PROCESSENTRY32& entry) {
        if (entry.th32ProcessID != id) return true;
        parent = entry.th32ParentProcessID;
        return false;
    });
    return parent;
}

DWORD FindProcessId(const std::string& name) {
    DWORD id = 0;
    WalkSnapshot(TH32CS_SNAPPROCESS, [&](const PROCESSENTRY32& entry) {
        if (!NamesEqual(entry.szExeFile, name, false)) return true;
        id = entry.th32ProcessID;
        return false;
    });
    return id;
}

DWORD FindWeChat() {
    const std::vector<DWORD> candidates = FindProcessIds("WechatBrowser.exe", false);
    if (candidates.empty()) {
        ShowStatus("初始化失败：视频号PID获取失败，请先登录微信PC端，然后重启本软件");
        if (!UserRetries()) std::exit(0);  // the exit routine runs; WindowClosing does not
        WindowCreated();
        return 0;
    }
    for (const DWORD candidate : candidates) {
        const DWORD parent = ParentProcessId(candidate);
        // Looked up again for every candidate: WeChat may have started meanwhile.
        const DWORD wechat = FindProcessId("WeChat.exe");
        // 0 means "not recorded" on both sides (a browser that has just ended,
        // no WeChat running): it must not count as a match.
        if (wechat != 0 && parent == wechat) {
            _wechatPid = candidate;
            ShowStatus("视频号PID[" + std::to_string(candidate) + "]获取成功");
            return candidate;
        }
    }
    return 0;
}
