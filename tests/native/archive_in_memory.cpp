#include "archive_in_memory.h"

#include <cstring>

#include "archive_error.h"
#include "archive_reader.h"
#include "crc32.h"
#include "folder_reader.h"

using namespace archiver;

int DecodeArchiveInMemory(const std::vector<uint8_t>& bytes,
                          std::map<std::u16string, std::vector<uint8_t>>& files) {
  ReadAtFunction readAt = [&bytes](uint64_t offset, void* out, size_t length) {
    if (offset > bytes.size() || length > bytes.size() - offset) return false;
    if (length) std::memcpy(out, bytes.data() + offset, length);
    return true;
  };
  Archive archive;
  if (int error = ReadArchive(readAt, bytes.size(), archive)) return error;
  for (const Entry& entry : archive.entries)
    if (!entry.hasStream || entry.folderIndex < 0) files[entry.name];
  std::vector<uint8_t> buffer(1 << 16);
  for (size_t f = 0; f < archive.folders.size(); ++f) {
    FolderReader reader;
    if (int error = reader.Open(archive, f, readAt)) return error;
    for (const Entry& entry : archive.entries) {
      if (entry.folderIndex != int(f)) continue;
      std::vector<uint8_t>& data = files[entry.name];
      data.clear();
      uint64_t left = entry.size;
      while (left > 0) {
        size_t got = 0;
        size_t want = left < buffer.size() ? size_t(left) : buffer.size();
        if (int error = reader.Read(buffer.data(), want, got)) return error;
        if (got == 0) return kErrorData;
        data.insert(data.end(), buffer.data(), buffer.data() + got);
        left -= got;
      }
      if (entry.crcDefined && Crc32Update(0, data.data(), data.size()) != entry.crc) return kErrorCrc;
    }
  }
  return kOk;
}
