// MiniTPFw.exe: ends the host processes of its own engine folder that have
// outlived their client, then exits. A host's client is the process that
// started it (its parent); the client is gone when no process of that id runs,
// or when the process now holding the id started after the host (the id was
// reused). Hosts of other engine folders are left alone.
#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>
#include <string>

#include "common/win_handles.h"

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring ImagePath(HANDLE process) {
    wchar_t path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, path, &length)) return std::wstring();
    return std::wstring(path, length);
}

ULONGLONG StartTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool ClientGone(DWORD clientId, ULONGLONG hostStart) {
    const KernelHandle client(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, clientId));
    if (!client) return GetLastError() != ERROR_ACCESS_DENIED;
    if (WaitForSingleObject(client.Get(), 0) == WAIT_OBJECT_0) return true;
    const ULONGLONG clientStart = StartTime(client.Get());
    return clientStart != 0 && hostStart != 0 && clientStart > hostStart;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t self[MAX_PATH * 2];
    const DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    const std::wstring engineFolder = Lower(FolderOf(std::wstring(self, selfLength)));

    const SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 1;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int ended = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (Lower(entry.szExeFile) != L"minithunderplatform.exe") continue;
        const KernelHandle host(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (!host || Lower(FolderOf(ImagePath(host.Get()))) != engineFolder) continue;
        if (!ClientGone(entry.th32ParentProcessID, StartTime(host.Get()))) continue;
        if (TerminateProcess(host.Get(), 0)) ++ended;
    }
    return ended;
}
