#include "common/file_names.h"

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (const wchar_t c : name)
        if (c < 32 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) return false;
    return name.back() != L'.' && name.back() != L' ';
}

std::wstring NumberedName(const std::wstring& name, int n) {
    if (n == 0) return name;
    const std::wstring number = L"(" + std::to_wstring(n) + L")";
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

std::wstring JoinFolder(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L"\\" + name;
}

std::wstring PartialName(const std::wstring& finalPath) { return finalPath + L".qmdl"; }

std::wstring ResumeRecordName(const std::wstring& finalPath) { return finalPath + L".qmdl.info"; }
