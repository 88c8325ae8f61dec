// The 7z container reader with its LZMA, LZMA2, BCJ and BCJ2 decoders, fed an
// archive held in memory.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive_in_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  std::map<std::u16string, std::vector<uint8_t>> files;
  DecodeArchiveInMemory(bytes, files);
  return 0;
}
