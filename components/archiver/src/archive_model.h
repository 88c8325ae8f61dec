// What the 7z container reader produces: the folders (coder chains over packed
// streams) and the entries, with every offset already checked against the file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace archiver {

// Reads length bytes at offset of the archive file; false on any short read.
using ReadAtFunction = std::function<bool(uint64_t offset, void* buffer, size_t length)>;

struct Coder {
  std::vector<uint8_t> methodId;
  uint32_t inStreamCount = 1;
  uint32_t outStreamCount = 1;
  std::vector<uint8_t> properties;
};

struct BindPair {
  uint32_t inIndex = 0;   // coder input stream that is fed ...
  uint32_t outIndex = 0;  // ... by this coder output stream
};

struct Folder {
  std::vector<Coder> coders;
  std::vector<BindPair> bindPairs;
  std::vector<uint32_t> packedStreams;  // coder input stream index of each packed stream
  std::vector<uint64_t> unpackSizes;    // one per coder output stream
  uint32_t firstPackStream = 0;         // index into Archive::packStreams
  bool crcDefined = false;
  uint32_t crc = 0;
  uint32_t unpackStreamCount = 1;       // files stored in this folder

  uint64_t UnpackSize() const;          // size of the folder's final output
  int MainOutStream() const;            // output stream bound to nothing, -1 if none
};

struct PackStream {
  uint64_t offset = 0;  // absolute offset in the archive file
  uint64_t size = 0;
};

struct Entry {
  std::u16string name;       // as stored: UTF-16, separators '/' or '\'
  bool hasStream = false;
  bool isDirectory = false;
  uint64_t size = 0;
  bool crcDefined = false;
  uint32_t crc = 0;
  bool mtimeDefined = false;
  uint64_t mtime = 0;        // FILETIME ticks
  bool attributesDefined = false;
  uint32_t attributes = 0;
  int folderIndex = -1;      // -1 for entries without data
};

struct Archive {
  std::vector<PackStream> packStreams;
  std::vector<Folder> folders;
  std::vector<Entry> entries;
};

}  // namespace archiver
