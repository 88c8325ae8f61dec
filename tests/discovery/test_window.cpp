#include "test_window.h"

#include <commctrl.h>

#include <vector>

#include "app/table.h"

namespace {

int timerMessages = 0;
std::function<void()> appMessageRoutine;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        ++timerMessages;
        return 0;
    }
    if (message == WM_APP) {
        if (appMessageRoutine) appMessageRoutine();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

TestWindow::TestWindow() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuillmereDiscoveryTestWindow";
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, windowClass.lpszClassName, L"discovery tests", WS_OVERLAPPEDWINDOW, 0, 0, 820, 475,
                             nullptr, nullptr, windowClass.hInstance, nullptr);
    _table = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 15, 24, 785, 376, window, nullptr,
                             windowClass.hInstance, nullptr);
    const wchar_t* headers[] = {L"ID", L"Type", L"mediaUrl", L"status"};
    const int widths[] = {50, 50, 540, 130};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<wchar_t*>(headers[i]);
        column.cx = widths[i];
        SendMessageW(_table, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    _consoleOut = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 16, 407, 784, 40, window, nullptr,
                                  windowClass.hInstance, nullptr);
}

TestWindow::~TestWindow() {
    appMessageRoutine = nullptr;
    DestroyWindow(window);
    _table = nullptr;
    _consoleOut = nullptr;
}

std::string TestWindow::StatusMessage() const {
    const int length = GetWindowTextLengthW(_consoleOut);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(_consoleOut, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(length));
    const std::size_t blank = text.find(L' ');
    const std::wstring message = blank == std::wstring::npos ? text : text.substr(blank + 1);
    if (message.empty()) return {};
    const int size = WideCharToMultiByte(936, 0, message.c_str(), static_cast<int>(message.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(936, 0, message.c_str(), static_cast<int>(message.size()), &gbk[0], size, nullptr, nullptr);
    return gbk;
}

int TestWindow::TimerMessages() { return timerMessages; }
void TestWindow::ResetTimerMessages() { timerMessages = 0; }
void TestWindow::OnAppMessage(std::function<void()> routine) { appMessageRoutine = std::move(routine); }
