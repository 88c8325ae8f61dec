// The discovery's text rules over text read from another process's memory:
// LinkKey, TextBetween and the live-link rebuild.
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/link_key.h"
#include "discovery/live_link.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitInput(data, size, 3);
  const std::string& text = parts[0];
  std::string key = LinkKey(text);
  FUZZ_CHECK(key.size() <= text.size() && text.find(key) != std::string::npos);
  IsCheckedVideoLink(text);
  IsPlainFileName(key);
  std::string between = TextBetween(text, parts[1], parts[2]);
  FUZZ_CHECK(text.find(between) != std::string::npos);
  std::string link = RebuiltLiveLink(text);
  FUZZ_CHECK(link.empty() || link.compare(0, 8, "https://") == 0);
  std::string streamKey = LiveStreamKey(link);
  FUZZ_CHECK(link.find(streamKey) != std::string::npos);
  return 0;
}
