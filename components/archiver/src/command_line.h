// The 7-Zip style command line that SevenZip accepts, already converted to
// UTF-16. Pure text rules, no system calls.
#pragma once
#include <string>
#include <vector>

namespace archiver {

struct ExtractCommand {
  bool keepPaths = true;              // "x" keeps paths, "e" flattens them
  std::u16string archivePath;
  std::u16string outputFolder;        // empty: the current folder
  std::vector<std::u16string> patterns;  // never empty after parsing ("*" by default)
  bool assumeYes = false;             // -y: overwrite without asking
  bool passwordGiven = false;
  std::u16string password;
};

// Splits at blanks outside double quotes; quotes are removed and may appear
// inside an argument (-p"secret"). Returns kOk or kErrorCommand.
int ParseCommandLine(const std::u16string& text, ExtractCommand& command);

}  // namespace archiver
