// Decodes a 7z archive held in memory through the pure reader and decoders:
// the native tests and the fuzz target both read archives this way.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Every entry's name (UTF-16 as stored) and decoded bytes. Returns kOk, or the
// first ArchiveError met; a stored CRC that does not match is kErrorCrc.
int DecodeArchiveInMemory(const std::vector<uint8_t>& bytes,
                          std::map<std::u16string, std::vector<uint8_t>>& files);
