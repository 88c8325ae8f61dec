#include "app/status_line.h"

#include <windows.h>

#include <cstdio>

#include "app/table.h"
#include "app/wide_paths.h"

std::string StatusLineText(const std::string& message, int day, int hour, int minute, int second) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%02d-%02d:%02d:%02d ", day, hour, minute, second);
    return prefix + message;
}

void ShowStatus(const std::string& message) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::vector<std::uint8_t> wide =
        GbkToUtf16(StatusLineText(message, now.wDay, now.wHour, now.wMinute, now.wSecond));
    SetWindowTextW(_consoleOut, reinterpret_cast<const wchar_t*>(wide.data()));
}
