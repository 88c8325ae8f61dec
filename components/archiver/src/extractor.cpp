// Order of work: read the whole archive structure, refuse the run if any entry
// name is unsafe or (without -y) any target exists, and only then write. Each
// file goes to a temporary name beside its target and is renamed once its CRC
// matched, so a failure or a cancel never leaves a half-written file under a
// final name. Folders untouched by the selection are not decoded at all.
#include "extractor.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "archive_error.h"
#include "archive_reader.h"
#include "crc32.h"
#include "entry_path.h"
#include "folder_reader.h"
#include "win32_file.h"

namespace archiver {
namespace {

constexpr size_t kWriteChunk = 1 << 20;
constexpr DWORD kAppliedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::wstring ToWide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

struct Target {
  size_t entryIndex;
  std::wstring path;       // full destination path
  std::wstring archiveName;
};

class Progress {
 public:
  Progress(HWND window, SevenZipProgressRoutine routine)
      : window_(window), routine_(routine),
        message_(routine ? RegisterWindowMessageA(SEVENZIP_PROGRESS_MESSAGE_NAME) : 0) {}

  void Start(const Target& target, const Entry& entry, const std::string& method, DWORD index, DWORD count) {
    info_ = SevenZipExtractingInfoEx();
    info_.basic.fileSize = entry.size;
    CopyGbkField(WideToGbk(target.archiveName), info_.basic.sourceFileName, sizeof info_.basic.sourceFileName);
    CopyGbkField(WideToGbk(target.path), info_.basic.destFileName, sizeof info_.basic.destFileName);
    info_.modifiedTime = entry.mtimeDefined ? entry.mtime : 0;
    info_.attributes = entry.attributes & 0xFFFF;
    info_.crc = entry.crcDefined ? entry.crc : 0;
    info_.fileIndex = index;
    info_.fileCount = count;
    CopyGbkField(method, info_.method, sizeof info_.method);
  }
  // False when the routine asked to cancel.
  bool Notify(UINT state, uint64_t written) {
    info_.basic.writeSize = written;
    return !routine_ || routine_(window_, message_, state, &info_) != FALSE;
  }
  void End(unsigned fileCount, uint64_t byteCount) {
    info_ = SevenZipExtractingInfoEx();
    info_.basic.fileSize = byteCount;
    info_.fileCount = info_.fileIndex = fileCount;
    Notify(SEVENZIP_STATE_END, byteCount);
  }

 private:
  HWND window_;
  SevenZipProgressRoutine routine_;
  UINT message_;
  SevenZipExtractingInfoEx info_{};
};

struct Extraction {
  const ExtractCommand& command;
  Progress progress;
  ExtractionResult& result;
  Archive archive;
  FileHandle archiveFile;
  ReadAtFunction readAt;
  std::wstring outputFolder;  // full path ending in a backslash
  std::vector<Target> targets;
  std::vector<uint8_t> buffer;
  DWORD fileIndex = 0;
  DWORD fileCount = 0;

  Extraction(const ExtractCommand& cmd, HWND window, SevenZipProgressRoutine routine, ExtractionResult& out)
      : command(cmd), progress(window, routine), result(out) {}

  int Fail(int error, const std::wstring& entry) {
    result.failedEntry = entry;
    return error;
  }

  int OpenArchive() {
    archiveFile.Reset(CreateFileW(ToWide(command.archivePath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size;
    if (!archiveFile.Valid() || !GetFileSizeEx(archiveFile.Get(), &size)) return kErrorArchiveOpen;
    HANDLE handle = archiveFile.Get();
    readAt = [handle](uint64_t offset, void* data, size_t length) {
      uint8_t* out = static_cast<uint8_t*>(data);
      while (length > 0) {
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD part = DWORD(std::min<size_t>(length, 1 << 24)), read = 0;
        if (!ReadFile(handle, out, part, &read, &at) || read != part) return false;
        out += read;
        offset += read;
        length -= read;
      }
      return true;
    };
    return ReadArchive(readAt, uint64_t(size.QuadPart), archive);
  }

  int PrepareOutputFolder() {
    std::wstring folder = ToWide(command.outputFolder);
    if (folder.empty()) folder = L".";
    DWORD length = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (length == 0) return kErrorWrite;
    outputFolder.assign(length, L'\0');
    length = GetFullPathNameW(folder.c_str(), length, &outputFolder[0], nullptr);
    outputFolder.resize(length);
    if (outputFolder.empty() || outputFolder.back() != L'\\') outputFolder.push_back(L'\\');
    return CreateFolderChain(outputFolder) ? kOk : kErrorWrite;
  }

  // Destination must stay below the output folder even after the system's
  // own path normalisation.
  bool IsInsideOutput(const std::wstring& path) const {
    DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) return false;
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
    full.resize(length);
    return full.size() > outputFolder.size() &&
           CompareStringOrdinal(full.c_str(), int(outputFolder.size()), outputFolder.c_str(),
                                int(outputFolder.size()), TRUE) == CSTR_EQUAL;
  }

  int SelectTargets() {
    for (size_t i = 0; i < archive.entries.size(); ++i) {
      const Entry& entry = archive.entries[i];
      std::vector<std::u16string> pieces;
      std::wstring name = ToWide(entry.name);
      if (SplitSafeEntryPath(entry.name, pieces) != kOk) return Fail(kErrorUnsafePath, name);
      bool selected = false;
      for (const auto& pattern : command.patterns) selected = selected || PatternSelects(pattern, pieces);
      if (!selected || (entry.isDirectory && !command.keepPaths)) continue;
      std::wstring relative;
      if (command.keepPaths) {
        for (size_t k = 0; k < pieces.size(); ++k) relative += (k ? L"\\" : L"") + ToWide(pieces[k]);
      } else {
        relative = ToWide(pieces.back());
      }
      std::wstring path = outputFolder + relative;
      if (!IsInsideOutput(path)) return Fail(kErrorUnsafePath, name);
      if (!entry.isDirectory) {
        if (IsFolder(path)) return Fail(kErrorWrite, name);
        if (!command.assumeYes && PathExists(path)) return Fail(kErrorFileExists, name);
        ++fileCount;
      }
      if (entry.folderIndex >= 0 && CheckFolderSupported(archive.folders[size_t(entry.folderIndex)]) != kOk)
        return Fail(kErrorUnsupported, name);
      targets.push_back({i, path, name});
    }
    return kOk;
  }

  int ExtractFile(const Target& target, FolderReader* reader, const std::string& method) {
    const Entry& entry = archive.entries[target.entryIndex];
    size_t split = target.path.find_last_of(L'\\');
    if (!CreateFolderChain(target.path.substr(0, split + 1))) return Fail(kErrorWrite, target.archiveName);
    std::wstring temporary = target.path + L"." + std::to_wstring(GetCurrentProcessId()) + L".partial";
    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) return Fail(kErrorWrite, target.archiveName);
    int error = WriteContents(file, entry, target, reader, method);
    if (error == kOk && entry.mtimeDefined) {
      FILETIME modified = {DWORD(entry.mtime), DWORD(entry.mtime >> 32)};
      SetFileTime(file.Get(), nullptr, nullptr, &modified);
    }
    if (!file.Close() && error == kOk) error = kErrorWrite;
    if (error == kOk && PathExists(target.path)) SetFileAttributesW(target.path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (error == kOk && !MoveFileExW(temporary.c_str(), target.path.c_str(), MOVEFILE_REPLACE_EXISTING))
      error = kErrorWrite;
    if (error != kOk) {
      DeleteFileW(temporary.c_str());
      return Fail(error, target.archiveName);
    }
    if (entry.attributesDefined && (entry.attributes & kAppliedAttributes))
      SetFileAttributesW(target.path.c_str(), entry.attributes & kAppliedAttributes);
    ++result.fileCount;
    result.byteCount += entry.size;
    return kOk;
  }

  int WriteContents(FileHandle& file, const Entry& entry, const Target& target, FolderReader* reader,
                    const std::string& method) {
    progress.Start(target, entry, method, ++fileIndex, fileCount);
    if (!progress.Notify(SEVENZIP_STATE_BEGIN, 0)) return kErrorCancelled;
    uint64_t written = 0;
    uint32_t crc = 0;
    while (written < entry.size) {
      size_t got = 0;
      size_t want = size_t(std::min<uint64_t>(buffer.size(), entry.size - written));
      if (int error = reader->Read(buffer.data(), want, got)) return error;
      if (got == 0) return kErrorData;
      DWORD done = 0;
      if (!::WriteFile(file.Get(), buffer.data(), DWORD(got), &done, nullptr) || done != got) return kErrorWrite;
      crc = Crc32Update(crc, buffer.data(), got);
      written += got;
      if (!progress.Notify(SEVENZIP_STATE_PROGRESS, written)) return kErrorCancelled;
    }
    if (entry.crcDefined && crc != entry.crc) return kErrorCrc;
    return kOk;
  }

  int Skip(FolderReader& reader, uint64_t size, const std::wstring& name) {
    while (size > 0) {
      size_t got = 0;
      if (int error = reader.Read(buffer.data(), size_t(std::min<uint64_t>(buffer.size(), size)), got))
        return Fail(error, name);
      if (got == 0) return Fail(kErrorData, name);
      size -= got;
    }
    return kOk;
  }

  int ExtractFolder(size_t folderIndex) {
    std::vector<const Target*> wanted(archive.entries.size(), nullptr);
    bool any = false;
    for (const auto& target : targets) {
      if (archive.entries[target.entryIndex].folderIndex == int(folderIndex)) {
        wanted[target.entryIndex] = &target;
        any = true;
      }
    }
    if (!any) return kOk;
    FolderReader reader;
    if (int error = reader.Open(archive, folderIndex, readAt)) return Fail(error, L"");
    std::string method = DescribeMethods(archive.folders[folderIndex]);
    for (size_t i = 0; i < archive.entries.size(); ++i) {
      const Entry& entry = archive.entries[i];
      if (entry.folderIndex != int(folderIndex)) continue;
      int error = wanted[i] ? ExtractFile(*wanted[i], &reader, method) : Skip(reader, entry.size, ToWide(entry.name));
      if (error) return error;
    }
    return kOk;
  }

  // Folders get their times and attributes last: writing into them would
  // change their modification time again.
  void FinishFolders() {
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
      const Entry& entry = archive.entries[it->entryIndex];
      if (!entry.isDirectory) continue;
      if (entry.mtimeDefined) {
        FileHandle folder(CreateFileW(it->path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        FILETIME modified = {DWORD(entry.mtime), DWORD(entry.mtime >> 32)};
        if (folder.Valid()) SetFileTime(folder.Get(), nullptr, nullptr, &modified);
      }
      if (entry.attributesDefined && (entry.attributes & kAppliedAttributes))
        SetFileAttributesW(it->path.c_str(), (entry.attributes & kAppliedAttributes) | FILE_ATTRIBUTE_DIRECTORY);
    }
  }

  int Run() {
    if (int error = OpenArchive()) return error;
    if (int error = PrepareOutputFolder()) return error;
    if (int error = SelectTargets()) return error;
    buffer.resize(kWriteChunk);
    for (const auto& target : targets) {
      const Entry& entry = archive.entries[target.entryIndex];
      if (entry.isDirectory && !CreateFolderChain(target.path)) return Fail(kErrorWrite, target.archiveName);
      if (!entry.isDirectory && !entry.hasStream)
        if (int error = ExtractFile(target, nullptr, "")) return error;
    }
    for (size_t f = 0; f < archive.folders.size(); ++f)
      if (int error = ExtractFolder(f)) return error;
    FinishFolders();
    progress.End(result.fileCount, result.byteCount);
    return kOk;
  }
};

}  // namespace

int RunExtraction(const ExtractCommand& command, HWND window, SevenZipProgressRoutine routine,
                  ExtractionResult& result) {
  result = ExtractionResult();
  try {
    Extraction extraction(command, window, routine, result);
    return extraction.Run();
  } catch (const std::bad_alloc&) {
    return kErrorNoMemory;
  }
}

}  // namespace archiver
