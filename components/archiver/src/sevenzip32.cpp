// The library's exported functions: turn the GBK command into UTF-16, run it,
// and report the outcome as a number and a short text.
#include "sevenzip32.h"

#include <atomic>
#include <string>

#include "archive_error.h"
#include "command_line.h"
#include "extractor.h"
#include "win32_file.h"

static_assert(archiver::kErrorCommand == SEVENZIP_ERROR_COMMAND && archiver::kErrorFileExists == SEVENZIP_ERROR_FILE_EXISTS &&
                  archiver::kErrorUnsafePath == SEVENZIP_ERROR_UNSAFE_PATH && archiver::kErrorCrc == SEVENZIP_ERROR_CRC,
              "internal and public error codes are the same numbers");

namespace {

std::atomic<SevenZipProgressRoutine> progressRoutine{nullptr};
std::atomic<HWND> progressWindow{nullptr};

const char* ErrorText(int code) {
  switch (code) {
    case archiver::kErrorCommand: return "command not understood";
    case archiver::kErrorArchiveOpen: return "cannot open the archive";
    case archiver::kErrorNot7z: return "not a 7z archive";
    case archiver::kErrorHeader: return "archive header is damaged or truncated";
    case archiver::kErrorUnsupported: return "unsupported compression method or encryption";
    case archiver::kErrorData: return "packed data is damaged or truncated";
    case archiver::kErrorCrc: return "CRC error";
    case archiver::kErrorUnsafePath: return "entry name would leave the output folder";
    case archiver::kErrorLimit: return "archive asks for more memory than allowed";
    case archiver::kErrorWrite: return "cannot write the output";
    case archiver::kErrorCancelled: return "cancelled";
    case archiver::kErrorNoMemory: return "out of memory";
    case archiver::kErrorFileExists: return "file exists (use -y to overwrite)";
    default: return "error";
  }
}

void WriteOutput(const std::string& text, LPSTR output, DWORD outputSize) {
  if (output && outputSize > 0) archiver::CopyGbkField(text, output, outputSize);
}

}  // namespace

extern "C" int WINAPI SevenZip(HWND window, LPCSTR command, LPSTR output, DWORD outputSize) {
  archiver::ExtractCommand parsed;
  std::wstring wide = command ? archiver::GbkToWide(command) : std::wstring();
  int code = archiver::ParseCommandLine(std::u16string(wide.begin(), wide.end()), parsed);
  archiver::ExtractionResult result;
  if (code == archiver::kOk) {
    HWND owner = window ? window : progressWindow.load();
    code = archiver::RunExtraction(parsed, owner, progressRoutine.load(), result);
  }
  std::string report;
  if (code == archiver::kOk) {
    report = "Everything is Ok: " + std::to_string(result.fileCount) + " files, " +
             std::to_string(result.byteCount) + " bytes";
  } else {
    report = std::string("Error: ") + ErrorText(code);
    if (!result.failedEntry.empty()) report += ": " + archiver::WideToGbk(result.failedEntry);
  }
  WriteOutput(report, output, outputSize);
  return code;
}

extern "C" BOOL WINAPI SevenZipSetOwnerWindowEx(HWND window, SevenZipProgressRoutine routine) {
  progressWindow.store(window);
  progressRoutine.store(routine);
  return TRUE;
}
