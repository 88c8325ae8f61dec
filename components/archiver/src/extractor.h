// Carries out one extraction command on the file system: selection, safe
// destination paths, temporary files renamed only when the CRC is right,
// times and attributes, progress notifications.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "command_line.h"
#include "sevenzip32.h"

namespace archiver {

struct ExtractionResult {
  unsigned fileCount = 0;
  uint64_t byteCount = 0;
  std::wstring failedEntry;  // the entry an error refers to, if any
};

int RunExtraction(const ExtractCommand& command, HWND window, SevenZipProgressRoutine routine,
                  ExtractionResult& result);

}  // namespace archiver
