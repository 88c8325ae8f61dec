#include "app/wide_paths.h"

#include <windows.h>
#include <shlwapi.h>

std::vector<std::uint8_t> GbkToUtf16(const std::string& text) {
    if (text.empty()) return {};
    // The terminated text (c_str) with length -1 makes the count include the NUL.
    const int units = MultiByteToWideChar(936, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return {};
    std::vector<std::uint8_t> wide(static_cast<std::size_t>(units) * 2, 0);
    MultiByteToWideChar(936, 0, text.c_str(), -1, reinterpret_cast<wchar_t*>(wide.data()), units);
    return wide;
}

std::string Utf16ToGbk(const wchar_t* units, int length) {
    if (length <= 0) return {};
    const int size = WideCharToMultiByte(936, 0, units, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(936, 0, units, length, text.data(), size, nullptr, nullptr);
    return text;
}

bool IsExistingFolder(const std::string& path) {
    const std::vector<std::uint8_t> wide = GbkToUtf16(path);
    const auto* name = wide.empty() ? nullptr : reinterpret_cast<const wchar_t*>(wide.data());
    return PathIsDirectoryW(name) == FILE_ATTRIBUTE_DIRECTORY;
}

bool CreateFolderPath(const std::string& path) {
    const std::vector<std::uint8_t> wide = GbkToUtf16(path);
    if (wide.size() >= 8) {
        const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
        const std::size_t count = wide.size() / 2;
        // One spare unit keeps the work buffer terminated at every step.
        std::vector<wchar_t> work(count + 1, L'\0');
        int backslashes = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (units[i] == L'\0') {
                CreateDirectoryW(work.data(), nullptr);
                break;
            }
            if (units[i] == L'\\') {
                if (backslashes > 0) CreateDirectoryW(work.data(), nullptr);
                ++backslashes;
            }
            work[i] = units[i];
        }
    }
    return IsExistingFolder(path);
}
