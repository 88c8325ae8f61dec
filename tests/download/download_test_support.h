// What the dispatcher and monitor tests share: the engine double loaded in
// place of the engine, the program's globals, and a hidden window holding the
// table and the status line. The test thread owns the window, so it pumps
// messages while it waits (the dispatcher and the monitors send theirs to it).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/globals.h"
#include "app/table.h"
#include "xldl_double.h"

namespace download_test {

inline DoubleFunctions engineDouble;
inline std::vector<std::string> statusHistory;
inline WNDPROC staticProc = nullptr;
inline WNDPROC listProc = nullptr;

// Every text written into a row's status cell, in order: the monitor may
// overwrite the dispatcher's "等待下载" before a test looks at the cell.
inline std::vector<std::pair<int, std::string>> statusCellWrites;

inline std::string Gbk(const wchar_t* text) {
    const int size = WideCharToMultiByte(936, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(936, 0, text, -1, gbk.data(), size, nullptr, nullptr);
    return gbk;
}

inline LRESULT CALLBACK RecordingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LVM_SETITEMTEXTW && lParam) {
        const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        if (item->iSubItem == 3 && item->pszText) statusCellWrites.emplace_back(static_cast<int>(wParam), Gbk(item->pszText));
    }
    return CallWindowProcW(listProc, window, message, wParam, lParam);
}

inline bool CellWritten(int row, const std::string& text) {
    for (const auto& [written, value] : statusCellWrites)
        if (written == row && value == text) return true;
    return false;
}

// Keeps every text the status line is given, since the last one wins on screen.
inline LRESULT CALLBACK RecordingStatusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam) {
        const std::string gbk = Gbk(reinterpret_cast<const wchar_t*>(lParam));
        statusHistory.push_back(gbk.size() > 12 ? gbk.substr(12) : gbk);  // without "DD-HH:MM:SS "
    }
    return CallWindowProcW(staticProc, window, message, wParam, lParam);
}

inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Pumps the test thread's messages until the condition holds or time runs out.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline bool StatusShown(const std::string& message) {
    for (const std::string& shown : statusHistory)
        if (shown == message) return true;
    return false;
}

inline void ClearTable() {
    SendMessageW(_table, LVM_DELETEALLITEMS, 0, 0);
    statusCellWrites.clear();
}

inline int AddRow(const std::string& type, const std::string& url, const std::string& status) {
    const int row = AppendTableRow();
    SetTableCell(row, ColumnId, std::to_string(row));
    SetTableCell(row, ColumnType, type);
    SetTableCell(row, ColumnMediaUrl, url);
    SetTableCell(row, ColumnStatus, status);
    statusCellWrites.pop_back();  // the row's starting status is not a write under test
    return row;
}

inline std::string Status(int row) { return TableCellText(row, ColumnStatus); }

// The task URL and file name of the index-th record the engine received.
struct SentTask {
    std::wstring url, fileName, savePath;
    int originOnly = -1, disableAutoRename = -1, resume = -1;
};
inline SentTask Sent(int index) {
    static DownTaskParam param;
    SentTask sent;
    if (!engineDouble.param(index, &param)) return sent;
    sent.url = param.szTaskUrl;
    sent.fileName = param.szFilename;
    sent.savePath = param.szSavePath;
    sent.originOnly = param.IsOnlyOriginal;
    sent.disableAutoRename = param.DisableAutoRename;
    sent.resume = param.IsResume;
    return sent;
}

// Loads the double as xldl.dll, builds the globals and the window.
inline bool SetUp() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder = folder.substr(0, folder.find_last_of(L'\\')) + L"\\engine-double";
    SetDllDirectoryW(folder.c_str());
    if (!LoadLibraryW(L"xldl.dll") || !engineDouble.Bind()) return false;
    ConstructGlobals();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 500, nullptr, nullptr, nullptr, nullptr);
    _table = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 700, 300, window, nullptr, nullptr, nullptr);
    for (int column = 0; column < 4; ++column) {
        LVCOLUMNW header = {};
        header.mask = LVCF_WIDTH | LVCF_SUBITEM;
        header.cx = 100;
        header.iSubItem = column;
        SendMessageW(_table, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header));
    }
    _consoleOut = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 310, 700, 40, window, nullptr, nullptr, nullptr);
    staticProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(_consoleOut, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingStatusProc)));
    listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(_table, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingListProc)));
    return _table && _consoleOut;
}

}  // namespace download_test
