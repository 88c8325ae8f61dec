// The archiver's command line and the entry-name rules it leads to.
#include <cstdint>
#include <string>
#include <vector>

#include "archive_error.h"
#include "command_line.h"
#include "entry_path.h"
#include "fuzz_input.h"

using namespace archiver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitInput(data, size, 2);
  ExtractCommand command;
  if (ParseCommandLine(Utf16Units<std::u16string>(parts[0]), command) == kOk) FUZZ_CHECK(!command.patterns.empty());
  std::vector<std::u16string> pieces;
  std::u16string name = Utf16Units<std::u16string>(parts[1]);
  if (SplitSafeEntryPath(name, pieces) == kOk)
    for (const std::u16string& piece : pieces) {
      FUZZ_CHECK(!piece.empty() && piece != u"." && piece != u"..");
      FUZZ_CHECK(piece.find(u'/') == std::u16string::npos && piece.find(u'\\') == std::u16string::npos);
    }
  for (const std::u16string& pattern : command.patterns) {
    PatternSelects(pattern, pieces);
    WildcardMatch(pattern, name);
  }
  return 0;
}
