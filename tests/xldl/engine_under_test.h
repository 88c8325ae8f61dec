// The real download engine as a test drives it: xldl.dll loaded from the
// engine folder (bin\XLDld), task records built from plain texts, waits for a
// task's end, the host processes of this test, and file checks.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "xldl.h"

struct EngineFunctions {
    BOOL(WINAPI* init)() = nullptr;
    BOOL(WINAPI* uninit)() = nullptr;
    void(WINAPI* setMiniTpPath)(const wchar_t*) = nullptr;
    XL_TASK(WINAPI* createTask)(const DownTaskParam*) = nullptr;
    BOOL(WINAPI* startTask)(XL_TASK) = nullptr;
    BOOL(WINAPI* stopTask)(XL_TASK) = nullptr;
    BOOL(WINAPI* forceStopTask)(XL_TASK) = nullptr;
    BOOL(WINAPI* deleteTask)(XL_TASK) = nullptr;
    BOOL(WINAPI* queryTaskInfoEx)(XL_TASK, DownTaskInfo*) = nullptr;
    void(WINAPI* setUploadSpeedLimit)(int32_t, int32_t) = nullptr;
};

inline std::wstring TestProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

inline std::wstring EngineFolder() { return TestProgramFolder() + L"\\XLDld"; }

// The engine library, loaded once from the engine folder; null members when it is missing.
inline const EngineFunctions& Engine() {
    static const EngineFunctions functions = [] {
        EngineFunctions f;
        HMODULE dll = LoadLibraryW((EngineFolder() + L"\\xldl.dll").c_str());
        if (!dll) return f;
        auto get = [dll](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                reinterpret_cast<void*>(GetProcAddress(dll, name)));
        };
        get(f.init, "XL_Init");
        get(f.uninit, "XL_UnInit");
        get(f.setMiniTpPath, "XL_SetMiniTpPath");
        get(f.createTask, "XL_CreateTask");
        get(f.startTask, "XL_StartTask");
        get(f.stopTask, "XL_StopTask");
        get(f.forceStopTask, "XL_ForceStopTask");
        get(f.deleteTask, "XL_DeleteTask");
        get(f.queryTaskInfoEx, "XL_QueryTaskInfoEx");
        get(f.setUploadSpeedLimit, "XL_SetUploadSpeedLimit");
        return f;
    }();
    return functions;
}

struct TaskTexts {
    TaskTexts(std::wstring url_, std::wstring folder_, std::wstring name_)
        : url(std::move(url_)), folder(std::move(folder_)), name(std::move(name_)) {}
    std::wstring url, folder, name;
    std::wstring referer, cookies;
    int disableAutoRename = 0;
    int resume = 0;
};

inline std::unique_ptr<DownTaskParam> MakeParam(const TaskTexts& texts) {
    auto param = std::make_unique<DownTaskParam>();
    std::memset(param.get(), 0, sizeof *param);
    param->nReserved1 = 5;
    auto copy = [](const std::wstring& text, wchar_t* field, std::size_t length) {
        std::memcpy(field, text.c_str(), std::min(text.size() + 1, length) * sizeof(wchar_t));
    };
    copy(texts.url, param->szTaskUrl, XL_URL_FIELD_LENGTH);
    copy(texts.referer, param->szRefUrl, XL_URL_FIELD_LENGTH);
    copy(texts.cookies, param->szCookies, XL_COOKIES_FIELD_LENGTH);
    copy(texts.name, param->szFilename, XL_PATH_FIELD_LENGTH);
    copy(texts.folder, param->szSavePath, XL_PATH_FIELD_LENGTH);
    param->IsOnlyOriginal = 1;
    param->DisableAutoRename = texts.disableAutoRename;
    param->IsResume = texts.resume;
    return param;
}

inline DownTaskInfo Query(XL_TASK task, BOOL* answered = nullptr) {
    DownTaskInfo info;
    std::memset(&info, 0, sizeof info);
    const BOOL ok = Engine().queryTaskInfoEx(task, &info);
    if (answered) *answered = ok;
    return info;
}

// Polls every 100 ms until the task is COMPLETE or ERROR (or the time is up).
inline DownTaskInfo WaitForEnd(XL_TASK task, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const DownTaskInfo info = Query(task);
        if (info.stat == TSC_COMPLETE || info.stat == TSC_ERROR || GetTickCount64() > deadline) return info;
        Sleep(100);
    }
}

inline DownTaskInfo WaitForState(XL_TASK task, int stat, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const DownTaskInfo info = Query(task);
        if (info.stat == stat || GetTickCount64() > deadline) return info;
        Sleep(50);
    }
}

// The running host processes started by process `parent`.
inline std::vector<DWORD> HostsOf(DWORD parent) {
    std::vector<DWORD> hosts;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return hosts;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, L"MiniThunderPlatform.exe") == 0)
            hosts.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return hosts;
}

inline bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 24));
        if (!ReadFile(file, &bytes[done], want, &read, nullptr) || read == 0) break;
        done += read;
    }
    CloseHandle(file);
    bytes.resize(done);
    return bytes;
}

inline void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
}

// The file's names in a folder (no "." or "..").
inline std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Whether the bytes are the CDN's generated pattern (byte i is i % 251) of that length.
inline bool IsPattern(const std::string& bytes, std::size_t length) {
    if (bytes.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(bytes[i]) != i % 251) return false;
    return true;
}
