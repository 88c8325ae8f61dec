#include "app/carried_files.h"

#include <windows.h>

CarriedFile LoadCarriedFile(int resource) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(resource), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return {};
    return {LockResource(loaded), SizeofResource(nullptr, found)};
}

bool WriteCarriedFile(int resource, const wchar_t* path) {
    const CarriedFile file = LoadCarriedFile(resource);
    if (!file.data) return false;
    HANDLE handle = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(handle, file.data, static_cast<DWORD>(file.size), &written, nullptr);
    CloseHandle(handle);
    return ok && written == file.size;
}
