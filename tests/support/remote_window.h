// Reading another process's window from outside, as a user's tool would: the
// list view's columns and cells through a buffer allocated in the target
// process (list-view messages carry pointers), control texts through
// WM_GETTEXT, which the system marshals itself.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace remote {

inline std::wstring WindowText(HWND window) {
    wchar_t text[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

inline std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// The first child window of a class, in z-order.
inline HWND ChildOfClass(HWND parent, const wchar_t* className) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (_wcsicmp(ClassName(child).c_str(), className) == 0) return child;
    return nullptr;
}

// A child's rectangle in its parent's client coordinates.
inline RECT ChildRect(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// A block of memory inside the process that owns a window.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, SIZE_T size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_) address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return address_ != nullptr; }
    void* Address() const { return address_; }
    bool Write(const void* data, SIZE_T length, SIZE_T offset = 0) const {
        return WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, length, nullptr) != 0;
    }
    bool Read(void* data, SIZE_T length, SIZE_T offset = 0) const {
        return ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, length, nullptr) != 0;
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    SIZE_T size_ = 0;
};

struct Column {
    std::wstring header;
    int width = 0;
};

constexpr int kTextUnits = 4096;

inline int RowCount(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

inline std::wstring CellText(HWND list, int row, int column) {
    RemoteBuffer buffer(list, sizeof(LVITEMW) + kTextUnits * sizeof(wchar_t));
    if (!buffer.Valid()) return L"<no access>";
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = kTextUnits;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.Address()) + sizeof(LVITEMW));
    buffer.Write(&item, sizeof item);
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buffer.Address()));
    std::vector<wchar_t> text(kTextUnits + 1, L'\0');
    buffer.Read(text.data(), kTextUnits * sizeof(wchar_t), sizeof(LVITEMW));
    return text.data();
}

inline std::vector<Column> Columns(HWND list) {
    std::vector<Column> columns;
    RemoteBuffer buffer(list, sizeof(LVCOLUMNW) + 256 * sizeof(wchar_t));
    if (!buffer.Valid()) return columns;
    for (int index = 0;; ++index) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cchTextMax = 256;
        column.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(buffer.Address()) + sizeof(LVCOLUMNW));
        buffer.Write(&column, sizeof column);
        if (!SendMessageW(list, LVM_GETCOLUMNW, index, reinterpret_cast<LPARAM>(buffer.Address()))) break;
        buffer.Read(&column, sizeof column);
        std::vector<wchar_t> text(257, L'\0');
        buffer.Read(text.data(), 256 * sizeof(wchar_t), sizeof(LVCOLUMNW));
        columns.push_back({text.data(), column.cx});
    }
    return columns;
}

// Selects one row (and focuses it), as a click would.
inline bool SelectRow(HWND list, int row) {
    RemoteBuffer buffer(list, sizeof(LVITEMW));
    if (!buffer.Valid()) return false;
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    buffer.Write(&item, sizeof item);
    return SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(buffer.Address())) != 0;
}

// A top-level window of a process with the given caption and class (null: any).
inline HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption) {
    struct Search {
        DWORD pid;
        const wchar_t* className;
        const wchar_t* caption;
        HWND found;
    } search = {pid, className, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->pid || !IsWindowVisible(window)) return TRUE;
            if (s->className && ClassName(window) != s->className) return TRUE;
            if (s->caption && WindowText(window) != s->caption) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls a condition every 50 ms until it holds or the time runs out.
template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(50);
    }
}

}  // namespace remote
