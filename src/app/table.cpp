#include "app/table.h"

#include <commctrl.h>

#include <vector>

#include "app/wide_paths.h"

HWND _table = nullptr;
HWND _consoleOut = nullptr;

int TableRowCount() {
    return static_cast<int>(SendMessageW(_table, LVM_GETITEMCOUNT, 0, 0));
}

std::string TableCellText(int row, int column) {
    // The list copies at most the buffer's size; grow until the text fits.
    std::vector<wchar_t> buffer(512);
    for (;;) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        const int length = static_cast<int>(SendMessageW(_table, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (length < static_cast<int>(buffer.size()) - 1) return Utf16ToGbk(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

void SetTableCell(int row, int column, const std::string& text) {
    std::vector<std::uint8_t> wide = GbkToUtf16(text);
    wchar_t empty = L'\0';
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = wide.empty() ? &empty : reinterpret_cast<wchar_t*>(wide.data());
    SendMessageW(_table, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

int AppendTableRow() {
    wchar_t empty = L'\0';
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = TableRowCount();
    item.pszText = &empty;
    return static_cast<int>(SendMessageW(_table, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}
