#include "test_tree.h"

#include <cstdlib>

namespace {

std::wstring LinuxToWine(const char* path) {
  std::wstring wide = L"Z:";
  for (const char* p = path; *p; ++p) wide.push_back(*p == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*p)));
  return wide;
}

void CollectTree(const std::wstring& root, const std::wstring& relative, Tree& tree) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((root + relative + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    TreeItem item;
    item.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.modified = data.ftLastWriteTime;
    item.attributes = data.dwFileAttributes;
    std::wstring path = relative + name;
    if (item.isFolder) CollectTree(root, path + L"\\", tree);
    else item.content = ReadWholeFile(root + path);
    tree[path] = item;
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

}  // namespace

std::wstring FixturePath(const std::wstring& name) {
  const char* build = std::getenv("QUILLMERE_BUILD");
  return LinuxToWine(build ? build : "/nonexistent") + L"\\archiver-fixtures\\" + name;
}

std::wstring FreshFolder(const std::wstring& name) {
  std::wstring path = FixturePath(L"out\\" + name);
  RemoveTree(path);
  CreateDirectoryW(FixturePath(L"out").c_str(), nullptr);
  CreateDirectoryW(path.c_str(), nullptr);
  return path + L"\\";
}

Tree ReadTree(const std::wstring& root) {
  Tree tree;
  std::wstring base = root;
  if (base.back() != L'\\') base.push_back(L'\\');
  CollectTree(base, L"", tree);
  return tree;
}

void RemoveTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

std::string ReadWholeFile(const std::wstring& path) {
  std::string content;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  char chunk[1 << 16];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) content.append(chunk, read);
  CloseHandle(file);
  return content;
}

void WriteWholeFile(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ToGbk(const std::wstring& text) {
  int length = WideCharToMultiByte(936, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string gbk(size_t(length), '\0');
  WideCharToMultiByte(936, 0, text.c_str(), -1, &gbk[0], length, nullptr, nullptr);
  gbk.resize(size_t(length - 1));
  return gbk;
}
