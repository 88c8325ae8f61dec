// Looks at the Quillmere window from outside for the demo script:
//   window_probe table   prints the table, one row per line, cells separated by " | "
//   window_probe status  prints the status line
//   window_probe close   asks the window to close (WM_CLOSE), as its close box does
// Output is UTF-8. Exit code 1 when no Quillmere window exists.
#include <windows.h>

#include <cstdio>
#include <string>

#include "remote_window.h"

namespace {

void PrintUtf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    HWND window = FindWindowW(L"QuillmereMainWindow", nullptr);
    if (!window) {
        std::fprintf(stderr, "window_probe: no Quillmere window\n");
        return 1;
    }
    if (command == L"close") {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    if (command == L"status") {
        PrintUtf8(remote::WindowText(remote::ChildOfClass(window, L"Static")) + L"\n");
        return 0;
    }
    if (command == L"table") {
        HWND table = remote::ChildOfClass(window, L"SysListView32");
        const int rows = remote::RowCount(table);
        for (int row = 0; row < rows; ++row) {
            std::wstring line;
            for (int column = 0; column < 4; ++column)
                line += (column ? L" | " : L"") + remote::CellText(table, row, column);
            PrintUtf8(line + L"\n");
        }
        return 0;
    }
    std::fprintf(stderr, "usage: window_probe table|status|close\n");
    return 2;
}
