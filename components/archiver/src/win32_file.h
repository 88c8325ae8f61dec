// Small Win32 helpers for the extractor: an owned file handle, code page 936
// conversions and folder creation on wide paths.
#pragma once
#include <windows.h>

#include <string>

namespace archiver {

// Owns a file handle; INVALID_HANDLE_VALUE is the empty value.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { Close(); }
  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  bool Close() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

std::wstring GbkToWide(const char* text);
std::string WideToGbk(const std::wstring& text);
// Copies GBK text into a fixed field, cut at a character boundary, NUL-terminated.
void CopyGbkField(const std::string& text, char* field, size_t fieldSize);

// Creates every missing folder of an absolute path; true when it is a folder afterwards.
bool CreateFolderChain(const std::wstring& path);
bool IsFolder(const std::wstring& path);
bool PathExists(const std::wstring& path);

}  // namespace archiver
