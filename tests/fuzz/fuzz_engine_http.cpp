// The engine's handling of what a server answers: Content-Range,
// Content-Length and the redirect target; also the resume record it reads
// back from disk.
#include <cstdint>
#include <string>
#include <vector>

#include "common/http_rules.h"
#include "common/resume_record.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitInput(data, size, 3);
  std::wstring value = Utf16Units<std::wstring>(parts[0]);
  if (auto range = ParseContentRange(value)) {
    FUZZ_CHECK(range->first >= 0 && range->first <= range->last);
    FUZZ_CHECK(range->total == -1 || range->last < range->total);
  }
  if (auto length = ParseContentLength(value)) FUZZ_CHECK(*length >= 0);
  std::wstring target = ResolveRedirect(Utf16Units<std::wstring>(parts[1]), Utf16Units<std::wstring>(parts[2]));
  FUZZ_CHECK(target.empty() || IsDownloadAddress(target));

  if (auto record = DecodeResumeRecord(parts[0])) {
    for (size_t i = 0; i < record->missing.size(); ++i) {
      FUZZ_CHECK(record->missing[i].first < record->missing[i].second);
      FUZZ_CHECK(i == 0 || record->missing[i - 1].second <= record->missing[i].first);
    }
    auto again = DecodeResumeRecord(EncodeResumeRecord(*record));
    FUZZ_CHECK(again && again->url == record->url && again->total == record->total &&
               again->missing == record->missing);
  }
  return 0;
}
