// Cutting one fuzz input into the several texts a function takes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// The input split at each 0x1F byte (the ASCII unit separator, absent from
// UTF-16 text of ASCII letters) into at most `count` parts; the last part keeps
// any further 0x1F, missing parts are empty.
inline std::vector<std::string> SplitInput(const uint8_t* data, size_t size, size_t count) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0x1F && parts.size() < count) parts.emplace_back();
    else parts.back().push_back(char(data[i]));
  }
  parts.resize(count);
  return parts;
}

// Bytes taken two at a time as UTF-16 code units (what WinHTTP hands over).
template <class String>
String Utf16Units(const std::string& bytes) {
  String text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(typename String::value_type(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
  return text;
}

// A broken property is a finding like a sanitizer report.
#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) std::abort(); \
  } while (0)
