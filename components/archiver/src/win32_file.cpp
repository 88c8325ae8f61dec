#include "win32_file.h"

#include <cstring>

namespace archiver {

constexpr UINT kGbk = 936;

std::wstring GbkToWide(const char* text) {
  int length = MultiByteToWideChar(kGbk, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(size_t(length), L'\0');
  MultiByteToWideChar(kGbk, 0, text, -1, &wide[0], length);
  wide.resize(size_t(length - 1));
  return wide;
}

std::string WideToGbk(const std::wstring& text) {
  int length = WideCharToMultiByte(kGbk, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string gbk(size_t(length), '\0');
  WideCharToMultiByte(kGbk, 0, text.c_str(), -1, &gbk[0], length, nullptr, nullptr);
  gbk.resize(size_t(length - 1));
  return gbk;
}

void CopyGbkField(const std::string& text, char* field, size_t fieldSize) {
  if (fieldSize == 0) return;
  size_t n = 0;
  while (n < text.size()) {
    size_t width = IsDBCSLeadByteEx(kGbk, BYTE(text[n])) ? 2 : 1;
    if (n + width > fieldSize - 1 || n + width > text.size()) break;
    n += width;
  }
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool CreateFolderChain(const std::wstring& path) {
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
  if (IsFolder(trimmed)) return true;
  size_t split = trimmed.find_last_of(L"\\/");
  if (split != std::wstring::npos && split > 0 && !CreateFolderChain(trimmed.substr(0, split + 1))) return false;
  return CreateDirectoryW(trimmed.c_str(), nullptr) || IsFolder(trimmed);
}

}  // namespace archiver
