// The archiver library (7-zip32.dll) as the deployment uses it: its two calls,
// bound on first use, and the part of its progress record that the hook reads.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

using ArchiverCallback = BOOL(WINAPI*)(HWND window, UINT message, UINT state, LPVOID info);

struct ArchiverFunctions {
    int(WINAPI* sevenZip)(HWND window, LPCSTR command, LPSTR output, DWORD outputSize) = nullptr;
    BOOL(WINAPI* setOwnerWindowEx)(HWND window, ArchiverCallback callback) = nullptr;
};

// Binds the library on first use (ending the program when it cannot be found).
const ArchiverFunctions& ArchiverLibrary();

// The archiver's state code for the end of a run.
constexpr UINT kArchiverEndNotification = 2;

struct ArchiverProgress {
    std::uint64_t fileSize = 0;
    std::uint64_t written = 0;
    std::string fileName;  // GBK
};
// Reads the leading part of the archiver's extended extraction-info record.
ArchiverProgress ReadArchiverProgress(const void* info);
