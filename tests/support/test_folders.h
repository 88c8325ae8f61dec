// A fresh folder under the temporary folder for one test, removed afterwards.
// Its name carries Chinese characters so that every path built on it does too.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

class TestFolder {
public:
    explicit TestFolder(const std::string& purpose) {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        wide_ = std::wstring(temp) + L"quillmere 测试 " + Widen(purpose) + L" " + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(GetTickCount());
        CreateDirectoryW(wide_.c_str(), nullptr);
    }
    ~TestFolder() { RemoveTree(wide_); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::wstring& Wide() const { return wide_; }
    std::string Gbk() const {
        const int size = WideCharToMultiByte(936, 0, wide_.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(size - 1), '\0');
        WideCharToMultiByte(936, 0, wide_.c_str(), -1, text.data(), size, nullptr, nullptr);
        return text;
    }

    static void RemoveTree(const std::wstring& path) {
        std::wstring from = path;
        from.push_back(L'\0');  // the shell wants a double-NUL list
        SHFILEOPSTRUCTW operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_NO_UI;
        SHFileOperationW(&operation);
    }

private:
    static std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
    std::wstring wide_;
};
