#include "app/program_folder.h"

#include <windows.h>

#include <vector>

#include "app/wide_paths.h"

std::string ProgramFolder() {
    // Asked in UTF-16 and converted with code page 936 so that the GBK text is
    // right whatever the system's ANSI code page is.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::wstring folder(path.begin(), path.end());
    const std::size_t slash = folder.find_last_of(L'\\');
    folder.resize(slash == std::wstring::npos ? 0 : slash);
    return Utf16ToGbk(folder.data(), static_cast<int>(folder.size()));
}
