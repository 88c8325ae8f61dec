// Native (Linux) check of the pure archive code under AddressSanitizer and
// UBSan: every archive given must decode with matching CRCs, and then every
// single-byte change of its header (with the header CRCs recomputed, so the
// parser really sees the change) and every truncation must end in a result
// code, never in a crash, a sanitizer report or unbounded memory.
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive_error.h"
#include "archive_reader.h"
#include "crc32.h"
#include "folder_reader.h"

using namespace archiver;

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void PutLe32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

// Reads the archive and decodes every entry; kOk only if every CRC matched.
int DecodeAll(const std::vector<uint8_t>& bytes) {
  ReadAtFunction readAt = [&bytes](uint64_t offset, void* out, size_t length) {
    if (offset > bytes.size() || length > bytes.size() - offset) return false;
    std::memcpy(out, bytes.data() + offset, length);
    return true;
  };
  Archive archive;
  if (int error = ReadArchive(readAt, bytes.size(), archive)) return error;
  std::vector<uint8_t> buffer(1 << 16);
  for (size_t f = 0; f < archive.folders.size(); ++f) {
    FolderReader reader;
    if (int error = reader.Open(archive, f, readAt)) return error;
    for (const auto& entry : archive.entries) {
      if (entry.folderIndex != int(f)) continue;
      uint64_t left = entry.size;
      uint32_t crc = 0;
      while (left > 0) {
        size_t got = 0;
        size_t want = left < buffer.size() ? size_t(left) : buffer.size();
        if (int error = reader.Read(buffer.data(), want, got)) return error;
        if (got == 0) return kErrorData;
        crc = Crc32Update(crc, buffer.data(), got);
        left -= got;
      }
      if (entry.crcDefined && crc != entry.crc) return kErrorCrc;
    }
  }
  return kOk;
}

bool ReadFile(const char* path, std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  for (int a = 1; a < argc; ++a) {
    std::vector<uint8_t> original;
    if (!ReadFile(argv[a], original) || original.size() < 32) {
      std::printf("FAIL %s: unreadable\n", argv[a]);
      ++failures;
      continue;
    }
    if (int error = DecodeAll(original)) {
      std::printf("FAIL %s: intact archive gives %#x\n", argv[a], unsigned(error));
      ++failures;
      continue;
    }
    uint64_t headerOffset = 32 + (uint64_t(Le32(&original[12])) | uint64_t(Le32(&original[16])) << 32);
    size_t mutations = 0, accepted = 0;
    for (size_t pos = size_t(headerOffset); pos < original.size(); ++pos) {
      for (uint8_t delta : {uint8_t(1), uint8_t(0x80), uint8_t(0xFF)}) {
        std::vector<uint8_t> bytes = original;
        bytes[pos] ^= delta;
        PutLe32(&bytes[28], Crc32Update(0, bytes.data() + headerOffset, bytes.size() - headerOffset));
        PutLe32(&bytes[8], Crc32Update(0, bytes.data() + 12, 20));
        accepted += DecodeAll(bytes) == kOk;
        ++mutations;
      }
    }
    // Packed data: a change must not pass unnoticed (the last bytes of a range
    // coder's flush may not matter, so those are only counted).
    size_t dataChanges = 0, dataAccepted = 0;
    for (size_t pos = 32; pos < headerOffset; pos += 1 + (headerOffset - 32) / 256) {
      std::vector<uint8_t> bytes = original;
      bytes[pos] ^= 0x10;
      dataAccepted += DecodeAll(bytes) == kOk;
      ++dataChanges;
    }
    for (size_t length = 0; length < original.size(); length += 1 + original.size() / 512) {
      std::vector<uint8_t> bytes(original.begin(), original.begin() + long(length));
      if (DecodeAll(bytes) == kOk) {
        std::printf("FAIL %s: truncated to %zu bytes yet accepted\n", argv[a], length);
        ++failures;
      }
      ++mutations;
    }
    std::printf("ok %s: %zu damaged copies, %zu header changes decoded cleanly, %zu of %zu data changes unnoticed\n",
                argv[a], mutations, accepted, dataAccepted, dataChanges);
  }
  return failures ? 1 : 0;
}
