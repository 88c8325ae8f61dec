// Comparison of executable names as the process choice needs it. Pure text
// rules, no system calls.
#pragma once

#include <string>
#include <string_view>

// Lower-cases the ASCII letters A to Z; every other byte stays, and the second
// byte of a double-byte GBK character is never changed (it may look like a letter).
std::string FoldCase(std::string_view name);
bool NamesEqual(std::string_view a, std::string_view b, bool caseSensitive);
