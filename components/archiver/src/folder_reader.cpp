// Every supported coder has one output stream, so output stream i belongs to
// coder i and the graph is a tree rooted at the coder whose output is bound to
// nothing. Inputs are resolved recursively: a bound input reads another coder,
// an unbound one reads a packed stream.
#include "folder_reader.h"

#include <algorithm>
#include <memory>

#include "archive_error.h"
#include "coders.h"

namespace archiver {
namespace {

enum class Method { kCopy, kLzma, kLzma2, kBcjX86, kBcj2, kEncrypted, kUnknown };

Method IdentifyMethod(const std::vector<uint8_t>& id) {
  using Id = std::vector<uint8_t>;
  if (id == Id{0x00}) return Method::kCopy;
  if (id == Id{0x03, 0x01, 0x01}) return Method::kLzma;
  if (id == Id{0x21}) return Method::kLzma2;
  if (id == Id{0x03, 0x03, 0x01, 0x03} || id == Id{0x04}) return Method::kBcjX86;
  if (id == Id{0x03, 0x03, 0x01, 0x1B}) return Method::kBcj2;
  if (!id.empty() && id[0] == 0x06) return Method::kEncrypted;  // 06 F1 07 01 is 7z AES
  return Method::kUnknown;
}

constexpr size_t kPackedChunk = 1 << 18;

struct PackedRegion {
  ReadAtFunction readAt;
  uint64_t offset;
  uint64_t left;

  int Read(uint8_t* buffer, size_t capacity, size_t& got) {
    got = size_t(std::min<uint64_t>({capacity, left, kPackedChunk}));
    if (got == 0) return kOk;
    if (!readAt(offset, buffer, got)) {
      got = 0;
      return kErrorData;
    }
    offset += got;
    left -= got;
    return kOk;
  }
};

struct GraphBuilder {
  const Archive& archive;
  const Folder& folder;
  const ReadAtFunction& readAt;
  std::vector<bool> visited;

  uint32_t FirstInStream(size_t coder) const {
    uint32_t index = 0;
    for (size_t i = 0; i < coder; ++i) index += folder.coders[i].inStreamCount;
    return index;
  }

  int InputStream(uint32_t inIndex, PullFunction& stream) {
    for (const auto& pair : folder.bindPairs)
      if (pair.inIndex == inIndex) return CoderStream(pair.outIndex, stream);
    for (size_t k = 0; k < folder.packedStreams.size(); ++k) {
      if (folder.packedStreams[k] != inIndex) continue;
      const PackStream& packed = archive.packStreams[folder.firstPackStream + k];
      auto region = std::make_shared<PackedRegion>(PackedRegion{readAt, packed.offset, packed.size});
      stream = [region](uint8_t* b, size_t c, size_t& g) { return region->Read(b, c, g); };
      return kOk;
    }
    return kErrorHeader;
  }

  int CoderStream(uint32_t coderIndex, PullFunction& stream) {
    if (coderIndex >= folder.coders.size() || visited[coderIndex]) return kErrorHeader;
    visited[coderIndex] = true;
    const Coder& coder = folder.coders[coderIndex];
    uint64_t unpackSize = folder.unpackSizes[coderIndex];
    Method method = IdentifyMethod(coder.methodId);
    if (method == Method::kEncrypted || method == Method::kUnknown) return kErrorUnsupported;
    uint32_t expectedInputs = method == Method::kBcj2 ? 4 : 1;
    if (coder.inStreamCount != expectedInputs) return kErrorUnsupported;

    std::vector<PullFunction> inputs(expectedInputs);
    uint32_t first = FirstInStream(coderIndex);
    for (uint32_t i = 0; i < expectedInputs; ++i)
      if (int error = InputStream(first + i, inputs[i])) return error;

    switch (method) {
      case Method::kCopy: {
        auto left = std::make_shared<uint64_t>(unpackSize);
        PullFunction in = inputs[0];
        stream = [in, left](uint8_t* b, size_t c, size_t& g) {
          int error = in(b, size_t(std::min<uint64_t>(c, *left)), g);
          if (error == kOk && g == 0 && *left != 0 && c != 0) error = kErrorData;
          *left -= g;
          return error;
        };
        return kOk;
      }
      case Method::kLzma:
        return MakeLzmaDecoder(inputs[0], coder.properties, unpackSize, stream);
      case Method::kLzma2:
        return MakeLzma2Decoder(inputs[0], coder.properties, unpackSize, stream);
      case Method::kBcjX86:
        if (!coder.properties.empty()) return kErrorUnsupported;  // a start offset 7-Zip never writes
        stream = MakeBcjX86Decoder(inputs[0]);
        return kOk;
      case Method::kBcj2:
        stream = MakeBcj2Decoder(inputs[0], inputs[1], inputs[2], inputs[3], unpackSize);
        return kOk;
      default:
        return kErrorUnsupported;
    }
  }
};

}  // namespace

int FolderReader::Open(const Archive& archive, size_t folderIndex, const ReadAtFunction& readAt) {
  output_ = nullptr;
  if (folderIndex >= archive.folders.size()) return kErrorHeader;
  const Folder& folder = archive.folders[folderIndex];
  for (const auto& coder : folder.coders)
    if (coder.outStreamCount != 1) return kErrorUnsupported;
  if (folder.unpackSizes.size() != folder.coders.size()) return kErrorHeader;
  int main = folder.MainOutStream();
  if (main < 0) return kErrorHeader;
  GraphBuilder builder{archive, folder, readAt, std::vector<bool>(folder.coders.size(), false)};
  PullFunction stream;
  if (int error = builder.CoderStream(uint32_t(main), stream)) return error;
  output_ = std::move(stream);
  return kOk;
}

int FolderReader::Read(uint8_t* buffer, size_t capacity, size_t& got) {
  got = 0;
  if (!output_) return kErrorHeader;
  return output_(buffer, capacity, got);
}

int CheckFolderSupported(const Folder& folder) {
  for (const auto& coder : folder.coders) {
    Method method = IdentifyMethod(coder.methodId);
    if (method == Method::kEncrypted || method == Method::kUnknown || coder.outStreamCount != 1) return kErrorUnsupported;
  }
  return kOk;
}

std::string DescribeMethods(const Folder& folder) {
  // Listed as 7-Zip lists them: the packed side first, the final filter last.
  std::string text;
  for (auto it = folder.coders.rbegin(); it != folder.coders.rend(); ++it) {
    if (!text.empty()) text += ' ';
    switch (IdentifyMethod(it->methodId)) {
      case Method::kCopy: text += "Copy"; break;
      case Method::kLzma: text += "LZMA"; break;
      case Method::kLzma2: text += "LZMA2"; break;
      case Method::kBcjX86: text += "BCJ"; break;
      case Method::kBcj2: text += "BCJ2"; break;
      case Method::kEncrypted: text += "AES"; break;
      default: text += "?"; break;
    }
  }
  return text;
}

}  // namespace archiver
