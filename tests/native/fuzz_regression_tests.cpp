// Inputs the fuzz targets found faults with, kept as plain cases.
#include <gtest/gtest.h>

#include <string>

#include "common/http_rules.h"

// A redirect from an address with no host ("http://", "https://?q") once gave
// "http:///a", which is no address at all; only a network-path reference can
// still be resolved there.
TEST(FuzzRegression, RedirectFromAHostlessBaseResolvesOnlyANetworkPath) {
  struct Case {
    const wchar_t* base;
    const wchar_t* location;
    const wchar_t* target;
  };
  const Case cases[] = {
      {L"http://", L"a", L""},
      {L"https://", L"/a", L""},
      {L"http://?q", L"?a", L""},
      {L"http:///x", L"b", L""},
      {L"http://", L"HT\xa154\xa1a1", L""},  // the fuzzer's own input
      {L"https://", L"//h/x", L"https://h/x"},
      {L"http://h", L"a", L"http://h/a"},  // a base with a host still resolves
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "base " << testing::PrintToString(std::wstring(c.base)));
    EXPECT_EQ(ResolveRedirect(c.base, c.location), c.target);
  }
}
