// Reading the WeChat browser process's memory from outside: every occurrence
// of a byte pattern in its readable regions, and the NUL-terminated text at an
// address. A process that has ended, a stale id or refused access give an
// empty list and an empty text; nothing is reported.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Addresses of the occurrences, ascending. Occurrences within one region only,
// not overlapping; mapped views and no-access or execute-only regions are
// skipped, and a region that cannot be read whole yields nothing. Dispatches
// the thread's pending window messages as it goes. An empty pattern finds nothing.
std::vector<std::uintptr_t> SearchProcessMemory(DWORD pid, std::string_view pattern);
// The bytes from the address up to the first NUL, or up to the end of the
// address's region when there is none; empty when the memory cannot be read.
std::string ReadRemoteText(DWORD pid, std::uintptr_t address);
