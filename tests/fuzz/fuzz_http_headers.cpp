// The HTTP client's reading of raw response headers and its cookie merges.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "http/cookie_text.h"
#include "http/http_text.h"

using namespace http;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = SplitInput(data, size, 3);
  const std::string& headers = parts[0];
  FUZZ_CHECK(ContentLengthOf(headers) >= -1);
  std::string location = LocationOf(headers);
  HeaderValue(headers, parts[1]);
  ResolveLocation(location, 2, "127.0.0.1", 443, "https://127.0.0.1/a/b?c=d");
  ResolveLocation(location, 1, "h", 80, parts[2]);

  std::string cookies = FrameCookieText(parts[2]);
  for (int keepOnEmpty : {0, 1}) {
    std::string merged = cookies;
    MergeSetCookieEntries(merged, headers, keepOnEmpty);
    StoreSetCookieEntries(headers, keepOnEmpty);
    MergeCookiePairs(merged, parts[1]);
    CookieValueOf(merged, parts[1], keepOnEmpty == 1);
    DeleteCookieNames(merged, parts[1]);
    CookiePairsOf(merged, int(merged.size()));
  }
  JoinedSetCookies(headers);
  SetCookieValueOf(headers, parts[1]);
  CookieAssignments(parts[1]);
  return 0;
}
