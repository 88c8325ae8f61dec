#include "app/main_window.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "app/globals.h"
#include "app/program_folder.h"
#include "app/status_line.h"
#include "app/table.h"
#include "app/wide_paths.h"
#include "discovery/scan_cycle.h"
#include "discovery/wechat_process.h"

HWND _mainWindow = nullptr;

namespace {

constexpr wchar_t kWindowClass[] = L"QuillmereMainWindow";
constexpr wchar_t kCaption[] = L"Quillmere V2.1  视频号视频下载 · 由 Quillmere 团队制作";
constexpr UINT kCopyLinkCommand = 1;
constexpr UINT kScanPeriodMs = 3000;
// Test setting: QUILLMERE_SCAN_PERIOD_MS (100 to 3000) shortens the scan period
// so that leak tests can run hundreds of ticks in a minute.
constexpr wchar_t kScanPeriodVariable[] = L"QUILLMERE_SCAN_PERIOD_MS";

UINT_PTR scanTimer = 0;
HFONT tableFont = nullptr;

struct ColumnSpec {
    const wchar_t* header;
    int width;
};
constexpr ColumnSpec kColumns[] = {{L"ID", 50}, {L"Type", 50}, {L"mediaUrl", 540}, {L"status", 130}};

void CALLBACK ScanTimerProc(HWND, UINT, UINT_PTR, DWORD) { ScanCycle(); }

UINT ScanPeriodMs() {
    wchar_t text[16] = {};
    const DWORD length = GetEnvironmentVariableW(kScanPeriodVariable, text, 16);
    if (length == 0 || length >= 16) return kScanPeriodMs;
    const long value = std::wcstol(text, nullptr, 10);
    return value >= 100 && value <= static_cast<long>(kScanPeriodMs) ? static_cast<UINT>(value) : kScanPeriodMs;
}

void CreateTable(HWND window) {
    _table = CreateWindowExW(0, WC_LISTVIEWW, L"",
                             WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                 LVS_SHOWSELALWAYS | LVS_EDITLABELS,
                             15, 24, 785, 376, window, nullptr, nullptr, nullptr);
    SendMessageW(_table, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_FLATSB | LVS_EX_INFOTIP | LVS_EX_SUBITEMIMAGES);
    SendMessageW(_table, LVM_SETTEXTCOLOR, 0, RGB(0, 0, 0));
    SendMessageW(_table, LVM_SETTEXTBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageW(_table, LVM_SETBKCOLOR, 0, RGB(255, 255, 255));
    tableFont = CreateFontW(-13, 0, 0, 0, 400, FALSE, FALSE, FALSE, 134, 3, 2, 1, 0x22, L"微软雅黑");
    SendMessageW(_table, WM_SETFONT, reinterpret_cast<WPARAM>(tableFont), TRUE);
    for (int index = 0; index < 4; ++index) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[index].width;
        column.pszText = const_cast<wchar_t*>(kColumns[index].header);
        column.iSubItem = index;
        SendMessageW(_table, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
    }
}

void CreateStatusLine(HWND window) {
    _consoleOut = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 16, 407, 784, 40,
                                  window, nullptr, nullptr, nullptr);
    SendMessageW(_consoleOut, WM_SETFONT, reinterpret_cast<WPARAM>(tableFont), TRUE);
}

int SelectedRow() {
    return static_cast<int>(SendMessageW(_table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool CopyToClipboard(const std::string& text) {
    if (!OpenClipboard(_mainWindow)) return false;
    EmptyClipboard();
    bool placed = false;
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        if (void* bytes = GlobalLock(memory)) {
            CopyMemory(bytes, text.c_str(), text.size() + 1);
            GlobalUnlock(memory);
            placed = SetClipboardData(CF_TEXT, memory) != nullptr;
        }
        if (!placed) GlobalFree(memory);  // the clipboard owns it only once accepted
    }
    CloseClipboard();
    return placed;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateTable(window);
        CreateStatusLine(window);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == _table && header->code == NM_RCLICK) TableRightClick();
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == _consoleOut) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_DESTROY:
        WindowClosing();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HWND CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    _mainWindow = CreateWindowExW(0, kWindowClass, L"Quillmere V2.1", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                  50, 50, 820, 475, nullptr, nullptr, instance, nullptr);
    if (!_mainWindow) return nullptr;
    ShowWindow(_mainWindow, SW_SHOW);
    UpdateWindow(_mainWindow);
    WindowCreated();
    return _mainWindow;
}

void WindowCreated() {
    std::string basePath = ProgramFolder() + "xldld";
    (void)_engine->Init(basePath, true, true, true);
    SetWindowTextW(_mainWindow, kCaption);
    const std::string videoFolder = ProgramFolder() + "\\video";
    if (!IsExistingFolder(videoFolder)) (void)CreateFolderPath(videoFolder);
    if (FindWeChat() != 0) scanTimer = SetTimer(nullptr, 0, ScanPeriodMs(), ScanTimerProc);
}

void TableRightClick() {
    if (SelectedRow() < 0) return;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, kCopyLinkCommand, L"复制链接");
    POINT cursor;
    GetCursorPos(&cursor);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                                         cursor.x, cursor.y, 0, _mainWindow, nullptr));
    DestroyMenu(menu);
    if (chosen != kCopyLinkCommand) return;
    const int row = SelectedRow();
    if (row < 0) return;
    if (CopyToClipboard(TableCellText(row, ColumnMediaUrl))) ShowStatus("链接复制成功，去粘贴吧！");
}

void WindowClosing() {
    (void)_engine->Uninit();
    if (scanTimer != 0) {
        KillTimer(nullptr, scanTimer);
        scanTimer = 0;
    }
}
