// Layout of the format: a 32-byte signature header points at the header at the
// end of the file. The header is either plain (kHeader) or "encoded": a streams
// info describing one folder whose output is the real header. Every count read
// from the header is checked against the bytes left before anything is sized
// by it, so a hostile count fails as a header error instead of an allocation.
#include "archive_reader.h"

#include <cstring>

#include "archive_error.h"
#include "crc32.h"
#include "folder_reader.h"

namespace archiver {
namespace {

enum PropertyId : uint8_t {
  kEnd = 0x00, kHeader = 0x01, kArchiveProperties = 0x02, kAdditionalStreamsInfo = 0x03,
  kMainStreamsInfo = 0x04, kFilesInfo = 0x05, kPackInfo = 0x06, kUnpackInfo = 0x07,
  kSubStreamsInfo = 0x08, kSize = 0x09, kCrc = 0x0A, kFolder = 0x0B, kCodersUnpackSize = 0x0C,
  kNumUnpackStream = 0x0D, kEmptyStream = 0x0E, kEmptyFile = 0x0F, kAnti = 0x10, kName = 0x11,
  kCTime = 0x12, kATime = 0x13, kMTime = 0x14, kWinAttributes = 0x15, kEncodedHeader = 0x17,
  kDummy = 0x19,
};

constexpr uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr int kMaxHeaderNesting = 4;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return Le32(p) | uint64_t(Le32(p + 4)) << 32; }

// Bounds-checked cursor over header bytes; any overrun sets failed.
struct HeaderCursor {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool failed = false;

  size_t Left() const { return size - pos; }
  uint8_t Byte() {
    if (pos >= size) { failed = true; return 0; }
    return data[pos++];
  }
  // The format's variable-length number: leading one bits of the first byte
  // tell how many little-endian bytes follow.
  uint64_t Number() {
    uint8_t first = Byte();
    uint8_t mask = 0x80;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
      if ((first & mask) == 0) return value | (uint64_t(first & (mask - 1)) << (8 * i));
      value |= uint64_t(Byte()) << (8 * i);
      mask >>= 1;
    }
    return value;
  }
  // A count that must fit in what is left (each item takes at least a bit/byte).
  uint32_t Count(uint64_t perItemBits = 8) {
    uint64_t n = Number();
    if (n > 0xFFFFFFu || n * perItemBits > uint64_t(Left()) * 8 + 7) { failed = true; return 0; }
    return uint32_t(n);
  }
  uint32_t U32() {
    if (Left() < 4) { failed = true; pos = size; return 0; }
    pos += 4;
    return Le32(data + pos - 4);
  }
  uint64_t U64() {
    if (Left() < 8) { failed = true; pos = size; return 0; }
    pos += 8;
    return Le64(data + pos - 8);
  }
  void Skip(uint64_t n) {
    if (n > Left()) { failed = true; pos = size; return; }
    pos += size_t(n);
  }
  std::vector<bool> Bits(size_t count) {
    std::vector<bool> bits(count);
    if (uint64_t(Left()) * 8 < count) { failed = true; return bits; }
    uint8_t b = 0;
    for (size_t i = 0; i < count; ++i) {
      if (i % 8 == 0) b = Byte();
      bits[i] = (b & (0x80 >> (i % 8))) != 0;
    }
    return bits;
  }
  std::vector<bool> OptionalBits(size_t count) {
    if (Byte() != 0) return std::vector<bool>(count, true);
    return Bits(count);
  }
};

struct StreamsInfo {
  uint64_t packPos = 0;
  std::vector<uint64_t> packSizes;
  std::vector<Folder> folders;
  std::vector<uint64_t> subStreamSizes;
  std::vector<bool> subStreamCrcDefined;
  std::vector<uint32_t> subStreamCrcs;
};

void ReadDigests(HeaderCursor& c, size_t count, std::vector<bool>& defined, std::vector<uint32_t>& crcs) {
  defined = c.OptionalBits(count);
  crcs.assign(count, 0);
  for (size_t i = 0; i < count && !c.failed; ++i)
    if (defined[i]) crcs[i] = c.U32();
}

int ReadPackInfo(HeaderCursor& c, StreamsInfo& info) {
  info.packPos = c.Number();
  uint32_t count = c.Count();
  for (;;) {
    uint8_t id = c.Byte();
    if (c.failed) return kErrorHeader;
    if (id == kEnd) break;
    if (id == kSize) {
      info.packSizes.resize(count);
      for (auto& size : info.packSizes) size = c.Number();
    } else if (id == kCrc) {
      std::vector<bool> defined;
      std::vector<uint32_t> crcs;
      ReadDigests(c, count, defined, crcs);  // packed-stream CRCs are not needed: file CRCs are checked
    } else {
      return kErrorHeader;
    }
  }
  if (info.packSizes.size() != count) return kErrorHeader;
  return c.failed ? kErrorHeader : kOk;
}

int ReadFolder(HeaderCursor& c, Folder& folder) {
  uint32_t coderCount = c.Count();
  if (coderCount == 0 || coderCount > kMaxCodersPerFolder) return c.failed ? kErrorHeader : kErrorUnsupported;
  uint32_t totalIn = 0, totalOut = 0;
  folder.coders.resize(coderCount);
  for (auto& coder : folder.coders) {
    uint8_t flags = c.Byte();
    if (flags & 0x80) return kErrorUnsupported;  // alternative methods: never written by 7-Zip
    size_t idSize = flags & 0x0F;
    if (idSize > 8 || idSize > c.Left()) return kErrorHeader;
    coder.methodId.assign(c.data + c.pos, c.data + c.pos + idSize);
    c.pos += idSize;
    if (flags & 0x10) {
      coder.inStreamCount = c.Count();
      coder.outStreamCount = c.Count();
    }
    if (flags & 0x20) {
      uint64_t propsSize = c.Number();
      if (propsSize > c.Left()) return kErrorHeader;
      coder.properties.assign(c.data + c.pos, c.data + c.pos + size_t(propsSize));
      c.pos += size_t(propsSize);
    }
    totalIn += coder.inStreamCount;
    totalOut += coder.outStreamCount;
    if (c.failed) return kErrorHeader;
    if (totalIn > kMaxStreamsPerFolder || totalOut > kMaxStreamsPerFolder) return kErrorUnsupported;
  }
  if (totalOut == 0 || totalIn < totalOut - 1) return kErrorHeader;
  folder.bindPairs.resize(totalOut - 1);
  for (auto& pair : folder.bindPairs) {
    pair.inIndex = uint32_t(c.Number());
    pair.outIndex = uint32_t(c.Number());
    if (pair.inIndex >= totalIn || pair.outIndex >= totalOut) return kErrorHeader;
  }
  uint32_t packedCount = totalIn - (totalOut - 1);
  if (packedCount == 1) {
    for (uint32_t i = 0; i < totalIn; ++i) {
      bool bound = false;
      for (const auto& pair : folder.bindPairs) bound = bound || pair.inIndex == i;
      if (!bound) { folder.packedStreams.push_back(i); break; }
    }
    if (folder.packedStreams.empty()) return kErrorHeader;
  } else {
    for (uint32_t i = 0; i < packedCount; ++i) {
      uint64_t index = c.Number();
      if (index >= totalIn) return kErrorHeader;
      folder.packedStreams.push_back(uint32_t(index));
    }
  }
  return c.failed ? kErrorHeader : kOk;
}

int ReadUnpackInfo(HeaderCursor& c, StreamsInfo& info) {
  if (c.Byte() != kFolder) return kErrorHeader;
  uint32_t folderCount = c.Count();
  if (c.Byte() != 0) return kErrorUnsupported;  // folders stored elsewhere
  info.folders.resize(folderCount);
  for (auto& folder : info.folders)
    if (int error = ReadFolder(c, folder)) return error;
  if (c.Byte() != kCodersUnpackSize) return kErrorHeader;
  for (auto& folder : info.folders) {
    uint32_t outCount = 0;
    for (const auto& coder : folder.coders) outCount += coder.outStreamCount;
    folder.unpackSizes.resize(outCount);
    for (auto& size : folder.unpackSizes) size = c.Number();
  }
  for (;;) {
    uint8_t id = c.Byte();
    if (c.failed) return kErrorHeader;
    if (id == kEnd) break;
    if (id != kCrc) return kErrorHeader;
    std::vector<bool> defined;
    std::vector<uint32_t> crcs;
    ReadDigests(c, folderCount, defined, crcs);
    for (size_t i = 0; i < folderCount && !c.failed; ++i) {
      info.folders[i].crcDefined = defined[i];
      info.folders[i].crc = crcs[i];
    }
  }
  return c.failed ? kErrorHeader : kOk;
}

int ReadSubStreamsInfo(HeaderCursor& c, StreamsInfo& info) {
  for (auto& folder : info.folders) folder.unpackStreamCount = 1;
  uint8_t id = c.Byte();
  if (id == kNumUnpackStream) {
    for (auto& folder : info.folders) folder.unpackStreamCount = c.Count(1);
    id = c.Byte();
  }
  bool haveSizes = id == kSize;
  for (const auto& folder : info.folders) {
    if (folder.unpackStreamCount == 0) continue;
    uint64_t total = folder.UnpackSize(), sum = 0;
    for (uint32_t i = 1; i < folder.unpackStreamCount && haveSizes; ++i) {
      uint64_t size = c.Number();
      if (c.failed || size > total - sum) return kErrorHeader;
      info.subStreamSizes.push_back(size);
      sum += size;
    }
    if (!haveSizes && folder.unpackStreamCount != 1) return kErrorHeader;
    info.subStreamSizes.push_back(total - sum);
  }
  if (haveSizes) id = c.Byte();

  // CRCs are listed only for streams whose CRC the folder does not already give.
  size_t missing = 0;
  for (const auto& folder : info.folders)
    if (!(folder.unpackStreamCount == 1 && folder.crcDefined)) missing += folder.unpackStreamCount;
  info.subStreamCrcDefined.assign(info.subStreamSizes.size(), false);
  info.subStreamCrcs.assign(info.subStreamSizes.size(), 0);
  for (;;) {
    if (c.failed) return kErrorHeader;
    if (id == kEnd) break;
    if (id != kCrc) return kErrorHeader;
    std::vector<bool> defined;
    std::vector<uint32_t> crcs;
    ReadDigests(c, missing, defined, crcs);
    size_t stream = 0, listed = 0;
    for (const auto& folder : info.folders) {
      for (uint32_t i = 0; i < folder.unpackStreamCount; ++i, ++stream) {
        if (folder.unpackStreamCount == 1 && folder.crcDefined) continue;
        info.subStreamCrcDefined[stream] = defined[listed];
        info.subStreamCrcs[stream] = crcs[listed];
        ++listed;
      }
    }
    id = c.Byte();
  }
  return kOk;
}

int ReadStreamsInfo(HeaderCursor& c, StreamsInfo& info) {
  bool haveSubStreams = false;
  for (;;) {
    uint8_t id = c.Byte();
    if (c.failed) return kErrorHeader;
    int error = kOk;
    if (id == kEnd) break;
    if (id == kPackInfo) error = ReadPackInfo(c, info);
    else if (id == kUnpackInfo) error = ReadUnpackInfo(c, info);
    else if (id == kSubStreamsInfo) { error = ReadSubStreamsInfo(c, info); haveSubStreams = true; }
    else return kErrorHeader;
    if (error) return error;
  }
  if (!haveSubStreams) {
    for (auto& folder : info.folders) {
      folder.unpackStreamCount = 1;
      info.subStreamSizes.push_back(folder.UnpackSize());
      info.subStreamCrcDefined.push_back(false);
      info.subStreamCrcs.push_back(0);
    }
  }
  return kOk;
}

// Places folders on their packed streams and checks every region lies inside the file.
int BindStreams(const StreamsInfo& info, uint64_t fileSize, Archive& archive) {
  const uint64_t dataStart = 32;
  uint64_t offset = dataStart + info.packPos;
  if (info.packPos > fileSize) return kErrorHeader;
  archive.packStreams.clear();
  for (uint64_t size : info.packSizes) {
    if (size > fileSize || offset > fileSize - size) return kErrorHeader;
    archive.packStreams.push_back({offset, size});
    offset += size;
  }
  archive.folders = info.folders;
  uint32_t next = 0;
  for (auto& folder : archive.folders) {
    folder.firstPackStream = next;
    if (folder.packedStreams.size() > archive.packStreams.size() - next) return kErrorHeader;
    next += uint32_t(folder.packedStreams.size());
    if (folder.MainOutStream() < 0) return kErrorHeader;
  }
  return kOk;
}

int DecodeFolderToMemory(const Archive& archive, size_t folderIndex, const ReadAtFunction& readAt,
                         std::vector<uint8_t>& out) {
  const Folder& folder = archive.folders[folderIndex];
  uint64_t size = folder.UnpackSize();
  if (size > kMaxHeaderSize) return kErrorLimit;
  out.resize(size_t(size));
  FolderReader reader;
  if (int error = reader.Open(archive, folderIndex, readAt)) return error;
  size_t done = 0;
  while (done < out.size()) {
    size_t got = 0;
    if (int error = reader.Read(out.data() + done, out.size() - done, got)) return error;
    if (got == 0) return kErrorData;
    done += got;
  }
  if (folder.crcDefined && Crc32Update(0, out.data(), out.size()) != folder.crc) return kErrorCrc;
  return kOk;
}

int ReadNames(HeaderCursor& c, uint64_t size, std::vector<Entry>& entries) {
  if (c.Byte() != 0) return kErrorUnsupported;  // names stored elsewhere
  if (size == 0 || size - 1 > c.Left() || (size - 1) % 2) return kErrorHeader;
  size_t end = c.pos + size_t(size - 1);
  for (auto& entry : entries) {
    entry.name.clear();
    for (;;) {
      if (c.pos + 2 > end) return kErrorHeader;
      char16_t ch = char16_t(c.data[c.pos] | c.data[c.pos + 1] << 8);
      c.pos += 2;
      if (ch == 0) break;
      entry.name.push_back(ch);
    }
  }
  c.pos = end;
  return kOk;
}

int ReadFilesInfo(HeaderCursor& c, Archive& archive, const StreamsInfo& info) {
  uint32_t fileCount = c.Count(1);
  if (c.failed) return kErrorHeader;
  std::vector<Entry>& entries = archive.entries;
  entries.assign(fileCount, Entry());
  std::vector<bool> emptyStream(fileCount, false), emptyFile;
  size_t emptyCount = 0;
  for (;;) {
    uint8_t type = c.Byte();
    if (c.failed) return kErrorHeader;
    if (type == kEnd) break;
    uint64_t size = c.Number();
    if (c.failed || size > c.Left()) return kErrorHeader;
    size_t next = c.pos + size_t(size);
    switch (type) {
      case kEmptyStream:
        emptyStream = c.Bits(fileCount);
        emptyCount = 0;
        for (bool b : emptyStream) emptyCount += b;
        emptyFile.assign(emptyCount, false);
        break;
      case kEmptyFile:
        emptyFile = c.Bits(emptyCount);
        break;
      case kAnti:
        break;  // deletion markers of update archives: nothing to extract
      case kName:
        if (int error = ReadNames(c, size, entries)) return error;
        break;
      case kMTime:
      case kWinAttributes: {
        std::vector<bool> defined = c.OptionalBits(fileCount);
        if (c.Byte() != 0) return kErrorUnsupported;
        for (size_t i = 0; i < fileCount && !c.failed; ++i) {
          if (!defined[i]) continue;
          if (type == kMTime) { entries[i].mtimeDefined = true; entries[i].mtime = c.U64(); }
          else { entries[i].attributesDefined = true; entries[i].attributes = c.U32(); }
        }
        break;
      }
      default:
        break;  // creation/access times, start positions, padding: not applied
    }
    if (c.failed || c.pos > next) return kErrorHeader;
    c.pos = next;
  }

  size_t stream = 0, emptyIndex = 0;
  size_t folder = 0, inFolder = 0;
  for (size_t i = 0; i < fileCount; ++i) {
    Entry& entry = entries[i];
    if (emptyStream[i]) {
      entry.isDirectory = !emptyFile[emptyIndex++];
      continue;
    }
    while (folder < archive.folders.size() && inFolder >= archive.folders[folder].unpackStreamCount) {
      ++folder;
      inFolder = 0;
    }
    if (folder >= archive.folders.size() || stream >= info.subStreamSizes.size()) return kErrorHeader;
    entry.hasStream = true;
    entry.folderIndex = int(folder);
    entry.size = info.subStreamSizes[stream];
    const Folder& f = archive.folders[folder];
    if (f.unpackStreamCount == 1 && f.crcDefined) {
      entry.crcDefined = true;
      entry.crc = f.crc;
    } else {
      entry.crcDefined = info.subStreamCrcDefined[stream];
      entry.crc = info.subStreamCrcs[stream];
    }
    ++stream;
    ++inFolder;
  }
  if (stream != info.subStreamSizes.size()) return kErrorHeader;
  return kOk;
}

int ReadHeader(HeaderCursor& c, uint64_t fileSize, Archive& archive) {
  uint8_t id = c.Byte();
  if (id == kArchiveProperties) {
    for (;;) {
      uint8_t type = c.Byte();
      if (c.failed) return kErrorHeader;
      if (type == kEnd) break;
      c.Skip(c.Number());
    }
    id = c.Byte();
  }
  if (id == kAdditionalStreamsInfo) return kErrorUnsupported;
  StreamsInfo info;
  if (id == kMainStreamsInfo) {
    if (int error = ReadStreamsInfo(c, info)) return error;
    if (int error = BindStreams(info, fileSize, archive)) return error;
    id = c.Byte();
  }
  if (id == kFilesInfo) {
    if (int error = ReadFilesInfo(c, archive, info)) return error;
    id = c.Byte();
  } else if (!info.subStreamSizes.empty()) {
    return kErrorHeader;
  }
  if (c.failed || id != kEnd) return kErrorHeader;
  return kOk;
}

}  // namespace

uint64_t Folder::UnpackSize() const {
  int main = MainOutStream();
  return main < 0 ? 0 : unpackSizes[size_t(main)];
}

int Folder::MainOutStream() const {
  for (size_t i = 0; i < unpackSizes.size(); ++i) {
    bool bound = false;
    for (const auto& pair : bindPairs) bound = bound || pair.outIndex == i;
    if (!bound) return int(i);
  }
  return -1;
}

int ReadArchive(const ReadAtFunction& readAt, uint64_t fileSize, Archive& archive) {
  uint8_t start[32];
  if (fileSize < sizeof start || !readAt(0, start, sizeof start)) return kErrorNot7z;
  if (std::memcmp(start, kSignature, sizeof kSignature) != 0) return kErrorNot7z;
  if (start[6] != 0) return kErrorUnsupported;  // a major version this reader does not know
  if (Crc32Update(0, start + 12, 20) != Le32(start + 8)) return kErrorHeader;
  uint64_t nextOffset = Le64(start + 12), nextSize = Le64(start + 20);
  uint32_t nextCrc = Le32(start + 28);
  if (nextSize == 0) {  // an archive without entries
    archive = Archive();
    return kOk;
  }
  if (nextSize > kMaxHeaderSize) return kErrorLimit;
  if (fileSize - 32 < nextOffset || fileSize - 32 - nextOffset < nextSize) return kErrorHeader;
  std::vector<uint8_t> header(static_cast<size_t>(nextSize));
  if (!readAt(32 + nextOffset, header.data(), header.size())) return kErrorHeader;
  if (Crc32Update(0, header.data(), header.size()) != nextCrc) return kErrorHeader;

  for (int nesting = 0; nesting < kMaxHeaderNesting; ++nesting) {
    HeaderCursor c{header.data(), header.size()};
    uint8_t id = c.Byte();
    if (id == kHeader) return ReadHeader(c, fileSize, archive);
    if (id != kEncodedHeader) return kErrorHeader;
    StreamsInfo info;
    if (int error = ReadStreamsInfo(c, info)) return error;
    Archive packed;
    if (int error = BindStreams(info, fileSize, packed)) return error;
    if (packed.folders.empty()) return kErrorHeader;
    std::vector<uint8_t> decoded;
    if (int error = DecodeFolderToMemory(packed, 0, readAt, decoded)) return error == kErrorCrc ? kErrorHeader : error;
    header.swap(decoded);
  }
  return kErrorHeader;
}

}  // namespace archiver
